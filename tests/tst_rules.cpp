// The pure rules: values cut out of replies, the switch caption, the DAC
// range, the cycle period and the end of the log.
#include "log/logprompt.h"
#include "mainwindow/controlvalues.h"
#include "mainwindow/replyvalue.h"

#include <QTest>

#include <climits>

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void replyValue_data();
    void replyValue();
    void replyTextEndsAtNul();
    void switchCaption();
    void dacRange_data();
    void dacRange();
    void cyclePeriod_data();
    void cyclePeriod();
    void logPrompt();
};

void TestRules::replyValue_data()
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

void TestRules::replyValue()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, value);
    bool wasFound = !found;
    QCOMPARE(::replyValue(text, key, &wasFound), value);
    QCOMPARE(wasFound, found);
}

void TestRules::replyTextEndsAtNul()
{
    QCOMPARE(replyText(QByteArray("MOD: ON\r\n\0DAC: 3\r\n", 19)), QStringLiteral("MOD: ON\r\n"));
    QCOMPARE(replyText("温度: 20\r\n"), QStringLiteral("温度: 20\r\n"));
    // Bytes that are not UTF-8 still give text around them.
    QVERIFY(replyText("AST: \xff\xfe\r\n").startsWith("AST: "));
}

void TestRules::switchCaption()
{
    QCOMPARE(outputSwitchCaption("OFF ON", "x"), QStringLiteral("关闭"));
    QCOMPARE(outputSwitchCaption("on", "x"), QStringLiteral("x"));
    QCOMPARE(outputSwitchCaption("", "x"), QStringLiteral("x"));
}

void TestRules::dacRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    for (const char *in : {"9", "31.5", "12.50", "1e1", " 12", " 20 "})
        QTest::newRow(in) << in << true;
    for (const char *out : {"8.99", "31.6", "12,5", "abc", "nan", "inf", "1e39", " ", "-20"})
        QTest::newRow(out) << out << false;
}

void TestRules::dacRange()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(dacValueAccepted(text), accepted);
}

void TestRules::cyclePeriod_data()
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

void TestRules::cyclePeriod()
{
    QFETCH(QString, time);
    QFETCH(int, period);
    QCOMPARE(cyclePeriodMs(time), period);
}

void TestRules::logPrompt()
{
    for (const char *end : {">", "log\r\n>", "log\r\n> \r\n", "a > b\r\n>\n"})
        QVERIFY2(endsWithPrompt(end), end);
    for (const char *text : {"", " \r\n", "temp > 50\r\n", ">x", "> x\r\n"})
        QVERIFY2(!endsWithPrompt(text), text);
}

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
