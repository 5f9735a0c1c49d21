// Cutting values out of replies, and the status view they fill.
#include "mainwindow/globals.h"
#include "mainwindow/replyvalue.h"
#include "simfixture.h"

#include <QPushButton>
#include <QTest>

class TestReplies : public QObject
{
    Q_OBJECT

private slots:
    void value_data();
    void value();
    void textEndsAtNul();
    void switchCaption_data();
    void switchCaption();
    void statusView_data();
    void statusView();
};

void TestReplies::value_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");

    QTest::newRow("middle line") << "MOD: ON\r\nDAC: 12.5\r\nAST: 0\r\n" << "DAC:" << true << "12.5";
    QTest::newRow("absent") << "MOD: ON\r\n" << "AST:" << false << "";
    QTest::newRow("no blank loses a character") << "MT:25.6\r\n" << "MT:" << true << "5.6";
    QTest::newRow("empty value") << "AST: \r\n" << "AST:" << true << "";
    QTest::newRow("no line feed") << "DAC: 12" << "DAC:" << true << "12";
    QTest::newRow("ends between CR and LF") << "DAC: 12\r" << "DAC:" << true << "12\r";
    QTest::newRow("LF without CR cuts a character") << "DAC: 12\n" << "DAC:" << true << "1";
    QTest::newRow("first of two") << "MT: 1\r\nMT: 2\r\n" << "MT:" << true << "1";
    QTest::newRow("inside a longer word") << "XDAC: 7\r\n" << "DAC:" << true << "7";
    QTest::newRow("line feed right after colon") << "MT:\nAST: 1\r\n" << "MT:" << true << "AST: 1\r\n";
    QTest::newRow("key at the very end") << "MOD:" << "MOD:" << true << "";
    QTest::newRow("case matters") << "mod: ON\r\n" << "MOD:" << false << "";
    QTest::newRow("key with blank") << "Firmware Vers: 2.1\r\nPL Vers: 1.3\r\n" << "PL Vers:" << true << "1.3";
}

void TestReplies::value()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, value);
    bool wasFound = !found;
    QCOMPARE(replyValue(text, key, &wasFound), value);
    QCOMPARE(wasFound, found);
}

void TestReplies::textEndsAtNul()
{
    QCOMPARE(replyText(QByteArray("MOD: ON\r\n\0DAC: 3\r\n", 19)), QStringLiteral("MOD: ON\r\n"));
    QCOMPARE(replyText("温度: 20\r\n"), QStringLiteral("温度: 20\r\n"));
    QCOMPARE(replyText(QByteArray("\0", 1)), QString());
    // Bytes that are not UTF-8 still give text around them.
    QVERIFY(replyText("AST: \xff\xfe\r\n").startsWith("AST: "));
}

void TestReplies::switchCaption_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("caption");
    QTest::newRow("on") << "ON" << "关闭";
    QTest::newRow("off") << "OFF" << "开启";
    QTest::newRow("both, on wins") << "OFF ON" << "关闭";
    QTest::newRow("lower case keeps") << "on" << "unchanged";
    QTest::newRow("empty keeps") << "" << "unchanged";
}

void TestReplies::switchCaption()
{
    QFETCH(QString, value);
    QFETCH(QString, caption);
    QCOMPARE(outputSwitchCaption(value, "unchanged"), caption);
}

void TestReplies::statusView_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QStringList>("view"); // TEMP FW PL DATA mosta DAC_Value mosta_module GOorSTOP

    // Before each row the view reads: empty boxes, module state OFF, and a
    // neutral switch caption "?" so that every change of the caption shows.
    QTest::newRow("status: three lines")
        << 4 << QByteArray("MOD: ON\r\nDAC: 12.5\r\nAST: 0\r\n")
        << QStringList({"", "", "", "", "0", "12.5", "ON", "关闭"});
    QTest::newRow("status: off")
        << 4 << QByteArray("MOD: OFF\r\n") << QStringList({"", "", "", "", "", "", "OFF", "开启"});
    QTest::newRow("status: neither on nor off")
        << 4 << QByteArray("MOD: on\r\n") << QStringList({"", "", "", "", "", "", "on", "?"});
    QTest::newRow("status: empty alarm")
        << 4 << QByteArray("AST: \r\n") << QStringList({"", "", "", "", "", "", "OFF", "?"});
    QTest::newRow("status: chunk ends inside a line")
        << 4 << QByteArray("AST: 3\r\nDAC: 1") << QStringList({"", "", "", "", "3", "1", "OFF", "?"});
    QTest::newRow("status: chunk ends after CR")
        << 4 << QByteArray("DAC: 14\r") << QStringList({"", "", "", "", "", "14\r", "OFF", "?"});
    QTest::newRow("status: key twice")
        << 4 << QByteArray("DAC: 10\r\nDAC: 20\r\n") << QStringList({"", "", "", "", "", "10", "OFF", "?"});
    QTest::newRow("status: key inside a word")
        << 4 << QByteArray("XDAC: 9.5\r\n") << QStringList({"", "", "", "", "", "9.5", "OFF", "?"});
    QTest::newRow("status: NUL hides the rest")
        << 4 << QByteArray("MOD: ON\r\n\0DAC: 3\r\n", 19) << QStringList({"", "", "", "", "", "", "ON", "关闭"});
    QTest::newRow("status: info keys ignored")
        << 4 << QByteArray("MT: 30\r\nFirmware Vers: 2\r\nPL Vers: 3\r\nSN: W\r\n")
        << QStringList({"", "", "", "", "", "", "OFF", "?"});
    QTest::newRow("info: full query")
        << 6 << QByteArray("MT: 30.5\r\nFirmware Vers: 2.1\r\nPL Vers: 1.3\r\nSN: WAVE\r\nAST: 2\r\n")
        << QStringList({"30.5", "2.1", "1.3", "WAVE", "2", "", "OFF", "?"});
    QTest::newRow("info: only MOD changes the switch alone")
        << 0 << QByteArray("MOD: ON\r\n") << QStringList({"", "", "", "", "", "", "OFF", "关闭"});
    QTest::newRow("info: no blank after colon")
        << 0 << QByteArray("MT:25.6\r\n") << QStringList({"5.6", "", "", "", "", "", "OFF", "?"});
    QTest::newRow("info: DAC ignored")
        << 6 << QByteArray("DAC: 15\r\n") << QStringList({"", "", "", "", "", "", "OFF", "?"});
}

void TestReplies::statusView()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, chunk);
    QFETCH(QStringList, view);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QCOMPARE(f.view(), QStringList({"", "", "", "", "", "", "OFF", "开启"}));
    f.widget<QPushButton>("GOorSTOP")->setText("?");
    recvMode = mode;
    f.sim.send(chunk);
    QTRY_COMPARE(f.view(), view);
    QTest::qWait(50);
    QCOMPARE(f.view(), view);
    QCOMPARE(recvMode, mode);
    QVERIFY(f.sim.received().isEmpty());
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
