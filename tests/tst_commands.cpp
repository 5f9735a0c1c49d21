// Every command literal goes out as exactly its bytes: no NUL, case as the
// module expects it.
#include "mainwindow/commands.h"
#include "simfixture.h"

#include <QTest>

#include <functional>

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void bytesOnTheWire();
};

void TestCommands::bytesOnTheWire()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.sim.setSilent(true); // RECV and dump would otherwise start a transfer or a log
    const struct { QByteArray hex; std::function<void()> write; } table[] = {
        {"4d540d0a", [] { writeCommand(Cmd::ReadTemperature); }},
        {"5645522046554c4c0d0a", [] { writeCommand(Cmd::ReadVersions); }},
        {"4b455920310d0a", [] { writeCommand(Cmd::KeyUpper1); }},
        {"444143494e464f0d0a", [] { writeCommand(Cmd::DacInfo); }},
        {"6b657920330d0a", [] { writeCommand(Cmd::KeyLower3); }},
        {"4d4f440d0a", [] { writeCommand(Cmd::ReadOutput); }},
        {"6173740d0a", [] { writeCommand(Cmd::ReadAlarm); }},
        {"6461630d0a", [] { writeCommand(Cmd::ReadDac); }},
        {"4d4f44204f4e0d0a", [] { writeCommand(Cmd::OutputOn); }},
        {"4d4f44204f46460d0a", [] { writeCommand(Cmd::OutputOff); }},
        {"626f6f740d0a", [] { writeCommand(Cmd::Boot); }},
        {"4c4f41444441430d0a", [] { writeCommand(Cmd::LoadDac); }},
        {"524543562046570d0a", [] { writeCommand(Cmd::ReceiveFirmware); }},
        {"5245435620444154410d0a", [] { writeCommand(Cmd::ReceiveData); }},
        {"64756d70206c6f67746578740d0a", [] { writeCommand(Cmd::DumpLog); }},
    };
    for (const auto &row : table) {
        f.sim.clearTranscript();
        row.write();
        const QByteArray expected = QByteArray::fromHex(row.hex);
        QTRY_COMPARE(f.sim.received().toHex(), expected.toHex());
        QTest::qWait(10);
        QCOMPARE(f.sim.received().toHex(), expected.toHex());
    }
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
