// The output switch and the DAC setting.
#include "mainwindow/controlvalues.h"
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestControl : public QObject
{
    Q_OBJECT

private slots:
    void outputSwitch_data();
    void outputSwitch();
    void switchShowsNewStateAfterNextPoll();
    void twoQuickClicksSendTwice();
    void dacSent_data();
    void dacSent();
    void dacRefused_data();
    void dacRefused();
    void dacEmptyIgnored();
};

void TestControl::outputSwitch_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("switch on") << "开启" << QByteArray("MOD ON\r\n");
    QTest::newRow("switch off") << "关闭" << QByteArray("MOD OFF\r\n");
    QTest::newRow("any other caption") << "x" << QByteArray("MOD OFF\r\n");
}

void TestControl::outputSwitch()
{
    QFETCH(QString, caption);
    QFETCH(QByteArray, command);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QPushButton>("GOorSTOP")->setText(caption);
    recvMode = 0;
    f.click("GOorSTOP");
    QTRY_COMPARE(f.sim.received(), command);
    QCOMPARE(recvMode, 4);
    QVERIFY(pollTimer->isActive());
    QCOMPARE(pollTimer->interval(), 1000);
    QCOMPARE(f.text("GOorSTOP"), caption); // turned only by the module's answer
}

void TestControl::switchShowsNewStateAfterNextPoll()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.click("GOorSTOP");
    QTRY_VERIFY(f.sim.outputOn);
    QTRY_COMPARE_WITH_TIMEOUT(f.text("GOorSTOP"), QStringLiteral("关闭"), 2500);
    QCOMPARE(f.text("mosta_module"), QStringLiteral("ON"));
    pollTimer->stop();
}

void TestControl::twoQuickClicksSendTwice()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.click("GOorSTOP");
    f.click("GOorSTOP");
    QTRY_COMPARE(f.sim.received(), QByteArray("MOD ON\r\nMOD ON\r\n"));
    pollTimer->stop();
}

void TestControl::dacSent_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("lower bound") << "9";
    QTest::newRow("upper bound") << "31.5";
    QTest::newRow("trailing zero kept") << "12.50";
    QTest::newRow("exponent as typed") << "1e1";
    QTest::newRow("leading blank kept") << " 12";
    QTest::newRow("blanks around") << " 20 ";
}

void TestControl::dacSent()
{
    QFETCH(QString, text);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 0;
    f.widget<QLineEdit>("DAC_SET")->setText(text);
    f.click("DAC_BU");
    QCOMPARE(f.sim.received(), "key 3\r\nDAC " + text.toLatin1() + "\r\nboot\r\n");
    const QByteArray dacLine = "DAC " + text.toLatin1();
    QVERIFY(f.spacedAtLeast("key 3", dacLine, 100));
    QVERIFY(f.spacedAtLeast(dacLine, "boot", 100));
    QVERIFY(f.dialogs.texts() == QStringList{"连接成功"});
    QCOMPARE(f.sim.dac, text.trimmed().toLatin1());
    QCOMPARE(recvMode, 0);
    QVERIFY(!pollTimer->isActive());
}

void TestControl::dacRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("below") << "8.99";
    QTest::newRow("above") << "31.6";
    QTest::newRow("decimal comma") << "12,5";
    QTest::newRow("letters") << "abc";
    QTest::newRow("not a number") << "nan";
    QTest::newRow("infinity") << "inf";
    QTest::newRow("beyond float") << "1e39";
    QTest::newRow("blank only") << " ";
}

void TestControl::dacRefused()
{
    QFETCH(QString, text);
    QVERIFY(!dacValueAccepted(text));
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QLineEdit>("DAC_SET")->setText(text);
    f.click("DAC_BU");
    QCOMPARE(f.dialogs.texts(), QStringList({"连接成功", "数值超出范围"}));
    QCOMPARE(f.dialogs.boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(f.dialogs.boxes.last().icon, QMessageBox::Information);
    QCOMPARE(f.dialogs.boxes.last().parent, f.window);
    QTest::qWait(50);
    QVERIFY(f.sim.received().isEmpty());
}

void TestControl::dacEmptyIgnored()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.click("DAC_BU");
    QTest::qWait(50);
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QVERIFY(f.sim.received().isEmpty());
}

QTEST_MAIN(TestControl)
#include "tst_control.moc"
