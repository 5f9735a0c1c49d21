// The timer tick, the single query and the automatic cycle.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <climits>

namespace {

void tick(SimFixture &f)
{
    QVERIFY(QMetaObject::invokeMethod(f.window, "handleTimeout"));
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void statusPollTick();
    void timerDrivesTheTick();
    void cycleTick();
    void tickAfterSingleQueryOnlyReturnsToPolling();
    void quietModes_data();
    void quietModes();
    void singleQuery();
    void singleQueryTwice();
    void tickInsideSingleQuery();
    void cyclePeriod_data();
    void cyclePeriod();
    void singleQueryOrSwitchDuringCycle();
};

void TestPolling::statusPollTick()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.sim.alarm = "A7";
    f.sim.dac = "21.5";
    f.sim.outputOn = true;
    tick(f);
    QTRY_COMPARE(f.text("DAC_Value"), QStringLiteral("21.5"));
    QCOMPARE(f.sim.received(), QByteArray("key 3\r\nMOD\r\nast\r\ndac\r\n"));
    QVERIFY(f.spacedAtLeast("key 3", "MOD", 100));
    QVERIFY(f.spacedAtLeast("MOD", "ast", 100));
    QVERIFY(f.spacedAtLeast("ast", "dac", 100));
    QCOMPARE(f.view(), QStringList({"", "", "", "", "A7", "21.5", "ON", "关闭"}));
    QCOMPARE(recvMode, 4);
}

void TestPolling::timerDrivesTheTick()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    pollTimer->start(20);
    QTRY_VERIFY(f.lines().contains("dac"));
    pollTimer->stop();
    QCOMPARE(f.lines().mid(0, 4), QByteArrayList({"key 3", "MOD", "ast", "dac"}));
}

void TestPolling::cycleTick()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 0;
    f.sim.temperature = "44.0";
    tick(f);
    QTRY_COMPARE(f.text("TEMP"), QStringLiteral("44.0"));
    QTest::qWait(50);
    QCOMPARE(f.sim.received(), QByteArray("MT\r\n"));
    QCOMPARE(recvMode, 0);
}

void TestPolling::tickAfterSingleQueryOnlyReturnsToPolling()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 6;
    tick(f);
    QCOMPARE(recvMode, 4);
    QTest::qWait(50);
    QVERIFY(f.sim.received().isEmpty());
    tick(f);
    QTRY_COMPARE(f.lines(), QByteArrayList({"key 3", "MOD", "ast", "dac"}));
}

void TestPolling::quietModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("firmware upload") << 2;
    QTest::newRow("data upload") << 3;
    QTest::newRow("log download") << 5;
}

void TestPolling::quietModes()
{
    QFETCH(int, mode);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = mode;
    tick(f);
    QTest::qWait(50);
    QVERIFY(f.sim.received().isEmpty());
    QCOMPARE(recvMode, mode);
}

void TestPolling::singleQuery()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    pollTimer->start(2000);
    QList<int> modes;
    QObject::connect(&f.sim, &ModuleSim::commandReceived, [&] { modes << recvMode; });
    f.click("single");
    QTRY_COMPARE(f.sim.received(), QByteArray("MT\r\nVER FULL\r\nKEY 1\r\nDACINFO\r\n"));
    QVERIFY(f.spacedAtLeast("MT", "VER FULL", 100));
    QVERIFY(f.spacedAtLeast("VER FULL", "KEY 1", 100));
    QVERIFY(f.spacedAtLeast("KEY 1", "DACINFO", 100));
    QCOMPARE(modes, QList<int>({6, 6, 6, 6}));
    QTRY_COMPARE(f.view(), QStringList({"36.5", "FW 2.1.0", "PL 1.3", "WAVE-A1", "", "", "OFF", "开启"}));
    QCOMPARE(recvMode, 6);
    QVERIFY(pollTimer->isActive());
    QCOMPARE(pollTimer->interval(), 2000);
}

void TestPolling::singleQueryTwice()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.click("single");
    f.click("single");
    QTRY_COMPARE(f.lines(), QByteArrayList({"MT", "VER FULL", "KEY 1", "DACINFO", "MT", "VER FULL", "KEY 1", "DACINFO"}));
    QCOMPARE(recvMode, 6);
}

void TestPolling::tickInsideSingleQuery()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.sim.dac = "17";
    // Without a tick the DACINFO answer goes to the info handler, which has no DAC key ...
    f.click("single");
    QTest::qWait(100);
    QCOMPARE(f.text("DAC_Value"), QString());

    // ... a tick between VER FULL and KEY 1 turns the mode back to 4, and the
    // status handler shows the DAC value of the rest of the query.
    f.sim.clearTranscript();
    QTimer::singleShot(150, f.window, [&] { tick(f); });
    f.click("single");
    QCOMPARE(recvMode, 4);
    QTRY_COMPARE(f.text("DAC_Value"), QStringLiteral("17"));
    QCOMPARE(f.lines(), QByteArrayList({"MT", "VER FULL", "KEY 1", "DACINFO"}));
}

void TestPolling::cyclePeriod_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("period");
    QTest::newRow("3") << "3" << 3000;
    QTest::newRow("blanks around 3") << " 3 " << 3000;
    QTest::newRow("empty") << "" << 10000;
    QTest::newRow("0") << "0" << 10000;
    QTest::newRow("negative") << "-5" << 10000;
    QTest::newRow("letters") << "abc" << 10000;
    QTest::newRow("fraction") << "2.5" << 10000;
    QTest::newRow("beyond 32 bits") << "99999999999" << 10000;
    QTest::newRow("period beyond the timer") << "4294967" << INT_MAX;
    QTest::newRow("largest that fits") << "2147483" << 2147483000;
}

void TestPolling::cyclePeriod()
{
    QFETCH(QString, time);
    QFETCH(int, period);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QLineEdit>("TIME")->setText(time);
    f.click("AUTO");
    QCOMPARE(recvMode, 0);
    QVERIFY(pollTimer->isActive());
    QCOMPARE(pollTimer->interval(), period);
    QCOMPARE(f.text("AUTO"), QStringLiteral("停止"));

    // TIME is read only when the cycle starts.
    f.widget<QLineEdit>("TIME")->setText("7");
    QCOMPARE(pollTimer->interval(), period);

    f.click("AUTO");
    QCOMPARE(f.text("AUTO"), QStringLiteral("循环"));
    QCOMPARE(recvMode, 4);
    QVERIFY(pollTimer->isActive());
    QCOMPARE(pollTimer->interval(), 2000);
    QVERIFY(f.sim.received().isEmpty());
}

void TestPolling::singleQueryOrSwitchDuringCycle()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QLineEdit>("TIME")->setText("3");
    f.click("AUTO");
    f.click("single");
    QCOMPARE(recvMode, 6);
    QCOMPARE(pollTimer->interval(), 3000);
    QCOMPARE(f.text("AUTO"), QStringLiteral("停止"));
    tick(f);
    QCOMPARE(recvMode, 4); // the cycle has ended, the caption still says 停止

    f.click("GOorSTOP");
    QCOMPARE(pollTimer->interval(), 1000);
    QCOMPARE(f.text("AUTO"), QStringLiteral("停止"));
    f.click("AUTO"); // takes the stop branch
    QCOMPARE(f.text("AUTO"), QStringLiteral("循环"));
    QCOMPARE(recvMode, 4);
    QCOMPARE(pollTimer->interval(), 2000);
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
