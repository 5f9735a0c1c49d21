// Routing of received chunks by recvMode, and the event-running wait.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <ctime>

namespace {

const QByteArray everyKey = "MT: 40.1\r\nFirmware Vers: 3.0\r\nPL Vers: 2.0\r\nSN: W7\r\n"
                            "MOD: ON\r\nAST: 5\r\nDAC: 20\r\n";

} // namespace

class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void statusMode();
    void infoModes_data();
    void infoModes();
    void otherModesReachNeitherParser_data();
    void otherModesReachNeitherParser();
    void oneReadIsOneChunk();
    void emptyReadChangesNothing();
    void delayZeroRunsNoEvents();
    void delayRunsEventsAndWaits();
    void delayWaitsInTheEventLoop();
};

void TestDispatch::statusMode()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 4;
    f.sim.send(everyKey);
    QTRY_COMPARE(f.text("DAC_Value"), QStringLiteral("20"));
    QCOMPARE(f.view(), QStringList({"", "", "", "", "5", "20", "ON", "关闭"}));
}

void TestDispatch::infoModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("cycle") << 0;
    QTest::newRow("single query") << 6;
}

void TestDispatch::infoModes()
{
    QFETCH(int, mode);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = mode;
    f.sim.send(everyKey);
    QTRY_COMPARE(f.text("TEMP"), QStringLiteral("40.1"));
    QCOMPARE(f.view(), QStringList({"40.1", "3.0", "2.0", "W7", "5", "", "OFF", "关闭"}));
    QCOMPARE(recvMode, mode);
}

void TestDispatch::otherModesReachNeitherParser_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("firmware upload") << 2;
    QTest::newRow("data upload") << 3;
    QTest::newRow("log download") << 5;
    QTest::newRow("no such mode 1") << 1;
    QTest::newRow("no such mode 7") << 7;
}

void TestDispatch::otherModesReachNeitherParser()
{
    QFETCH(int, mode);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    const QStringList before = f.view();
    recvMode = mode;
    f.sim.send(everyKey);
    QTest::qWait(200);
    QCOMPARE(f.view(), before);
    QCOMPARE(serialPort->bytesAvailable(), 0);
    // The read above was consumed: back in mode 4 only the new line is seen,
    // not the DAC value still waiting from before.
    recvMode = 4;
    f.sim.send("DAC: 11\r\n");
    QTRY_COMPARE(f.text("DAC_Value"), QStringLiteral("11"));
}

void TestDispatch::oneReadIsOneChunk()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 4;
    // Two pieces inside the 20 ms gathering wait make one chunk ...
    f.sim.send("MOD: O");
    QTimer::singleShot(5, [&] { f.sim.send("N\r\n"); });
    QTRY_COMPARE(f.text("mosta_module"), QStringLiteral("ON"));

    // ... pieces further apart are parsed each on its own: the value runs to
    // the end of the first piece and the rest of the line is not seen.
    f.sim.send("DAC: 2");
    QTest::qWait(150);
    f.sim.send("5\r\n");
    QTest::qWait(150);
    QCOMPARE(f.text("DAC_Value"), QStringLiteral("2"));
}

void TestDispatch::emptyReadChangesNothing()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 4;
    const QStringList before = f.view();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(QMetaObject::invokeMethod(f.window, "serialPort_readyRead"));
    QVERIFY(clock.elapsed() >= 20);
    QCOMPARE(f.view(), before);
    QVERIFY(f.sim.received().isEmpty());
}

void TestDispatch::delayZeroRunsNoEvents()
{
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
    delayMs(0);
    delayMs(-5);
    QVERIFY(!ran);
    QTRY_VERIFY(ran);
}

void TestDispatch::delayRunsEventsAndWaits()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 4;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    f.sim.send("DAC: 30\r\n");

    QElapsedTimer clock;
    clock.start();
    delayMs(100);
    QVERIFY(clock.elapsed() >= 100);
    QVERIFY(clock.elapsed() < 400);
    QVERIFY(ticks >= 3);
    // The receive dispatch ran inside the wait.
    QCOMPARE(f.text("DAC_Value"), QStringLiteral("30"));

    for (int ms : {1, 7, 33}) {
        clock.restart();
        delayMs(ms);
        QVERIFY2(clock.elapsed() >= ms, qPrintable(QString::number(ms)));
    }
}

void TestDispatch::delayWaitsInTheEventLoop()
{
    // A busy wait would spend the whole second on the CPU.
    timespec start, end;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    delayMs(1000);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    const double used = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    QVERIFY2(used < 0.1, qPrintable(QString::number(used)));
}

QTEST_MAIN(TestDispatch)
#include "tst_dispatch.moc"
