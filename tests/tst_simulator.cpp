// The simulator's XMODEM-1K receiver against a sender written apart from
// this project (python3-xmodem), so that a mistake shared by the tool's
// sender and the simulator cannot pass unseen.
#include "modulesim.h"

#include <QDebug>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void receivesFromIndependentSender_data();
    void receivesFromIndependentSender();
};

void TestSimulator::receivesFromIndependentSender_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("naks");
    QTest::newRow("firmware, 3 blocks") << QByteArray("RECV FW") << 3000 << 0;
    QTest::newRow("data, 2 blocks NAKed first") << QByteArray("RECV DATA") << 2500 << 2;
}

void TestSimulator::receivesFromIndependentSender()
{
    QFETCH(QByteArray, command);
    QFETCH(int, size);
    QFETCH(int, naks);

    ModuleSim sim;
    sim.nakNextBlocks(naks);
    QByteArray file;
    for (int i = 0; i < size; ++i)
        file += char((i * 7 + 3) & 0xFF);
    QTemporaryDir dir;
    QFile out(dir.filePath("payload.bin"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();

    QProcess python;
    // Debian's interpreter, which has the python3-xmodem package.
    python.start("/usr/bin/python3", {QStringLiteral(TESTS_DIR "/support/xmodem_send.py"), sim.devicePath(), out.fileName(), QString::fromLatin1(command)});
    QVERIFY(python.waitForStarted());
    // The simulator lives on this thread: keep its event loop running.
    QVERIFY(QTest::qWaitFor([&] { return python.state() == QProcess::NotRunning; }, 60000));
    if (python.exitCode() != 0)
        qWarning() << python.readAllStandardError();
    QCOMPARE(python.readAllStandardOutput().trimmed(), QByteArray("SENT"));

    QByteArray padded = file;
    padded.append((1024 - size % 1024) % 1024, char(0x1A));
    const auto target = command == "RECV FW" ? ModuleSim::Target::Firmware : ModuleSim::Target::Data;
    QCOMPARE(sim.upload(target), padded);
    QCOMPARE(sim.naksSent(), naks);
    QVERIFY(!sim.inTransfer());
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
