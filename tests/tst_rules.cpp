// The pure rules: values cut out of replies, the switch caption, the DAC
// range, the cycle period, the end of the log, the wait that runs events, and
// the transfer's check sum and block.
// Each table names its row when a check fails.
#include "mainwindow/globals.h"
#include "protocol/controlvalues.h"
#include "mainwindow/replyvalue.h"
#include "protocol/xmodem.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <climits>
#include <ctime>

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void replyValueByPosition()
    {
        const struct { const char *text, *key; bool found; const char *value; } rows[] = {
            {"MOD: ON\r\n", "AST:", false, ""},
            {"AST: \r\n", "AST:", true, ""},
            {"DAC: 12", "DAC:", true, "12"},               // no line feed
            {"DAC: 12\r", "DAC:", true, "12\r"},           // ends between CR and LF
            {"DAC: 12\n", "DAC:", true, "1"},              // LF without CR cuts a character
            {"MT: 1\r\nMT: 2\r\n", "MT:", true, "1"},
            {"XDAC: 7\r\n", "DAC:", true, "7"},            // inside a longer word
            {"MT:\nAST: 1\r\n", "MT:", true, "AST: 1\r\n"}, // line feed right after the colon
            {"MOD:", "MOD:", true, ""},
            {"mod: ON\r\n", "MOD:", false, ""},
        };
        for (const auto &r : rows) {
            bool found = !r.found;
            const QString value = replyValue(r.text, r.key, &found);
            QCOMPARE(value + (found ? "|found" : "|absent"), QString(r.value) + (r.found ? "|found" : "|absent"));
        }
    }

    void replyTextAndSwitchCaption()
    {
        QCOMPARE(replyText("温度: 20\r\n"), QStringLiteral("温度: 20\r\n"));
        // Bytes that are not UTF-8 still give text around them.
        QVERIFY(replyText("AST: \xff\xfe\r\n").startsWith("AST: "));
        QCOMPARE(outputSwitchCaption("OFF ON", "x"), QStringLiteral("关闭"));
        QCOMPARE(outputSwitchCaption("on", "x"), QStringLiteral("x"));
        QCOMPARE(outputSwitchCaption("", "x"), QStringLiteral("x"));
    }

    void dacRange()
    {
        for (const char *in : {"9", "31.5", "12.50", "1e1", " 12", " 20 "})
            QVERIFY2(dacValueAccepted(in), in);
        // Full-width and no-break blanks, a tab: read as blanks by the number
        // conversion, but not bytes the module takes.
        for (const char *out : {"8.99", "8.99999999", "31.50000009", "31.6", "12,5", "abc", "nan", "inf", "1e39", " ", "-20", "\u300012", "12\u00a0", "\t12"})
            QVERIFY2(!dacValueAccepted(out), out);
    }

    void cyclePeriod()
    {
        const struct { const char *seconds; int ms; } rows[] = {
            {"3", 3000}, {" 3 ", 3000}, {"", 10000}, {"0", 10000}, {"-5", 10000}, {"2.5", 10000},
            {"99999999999", 10000},      // beyond 32 bits
            {"4294967", INT_MAX},        // a period beyond what the timer takes
            {"2147483", 2147483000},     // the largest that fits
        };
        for (const auto &r : rows)
            QVERIFY2(cyclePeriodMs(r.seconds) == r.ms, r.seconds);
    }

    void delayRunsEventsWithoutSpinning()
    {
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        delayMs(0);
        delayMs(-5);
        QVERIFY(!ran);

        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpu = std::clock(); // the process's CPU time
        delayMs(200);
        QVERIFY(clock.elapsed() >= 200 && ran);
        // A busy wait would spend the whole time on the CPU.
        QVERIFY2(std::clock() - cpu < CLOCKS_PER_SEC / 50, qPrintable(QString::number(std::clock() - cpu)));
    }

    // The transfer's check sum by its published check value, and a short last block padded.
    void crc16AndBlock()
    {
        QCOMPARE(crc16Xmodem("123456789"), quint16(0x31C3));
        const QByteArray block = xmodemBlock(0, "ab");
        QCOMPARE(block.left(5), QByteArray("\x02\x00\xFF" "ab", 5));
        QCOMPARE(block.mid(5, 1022), QByteArray(1022, 0x1A));
        QCOMPARE(block.size(), 1029);
    }
};

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
