// The main window's operations on a connected module: the timer tick, the
// buttons and the replies, each row one action and what must follow.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "testdata.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const char *const idle = "||||||OFF|开启|循环";

const struct Row {
    const char *name;
    const char *modeBefore;
    const char *action;  // "tick", "recv" or the button clicked
    const char *input;   // bytes from the module, or the text typed for the button
    const char *lines;   // the command lines the module receives
    const char *view;
    const char *state;   // SimFixture::state()
    const char *box;
} rows[] = {
    {"poll tick", "status", "tick", "", "key 3,MOD,ast,dac", "||||0|12.5|OFF|开启|循环", "status -1 on", ""},
    {"cycle tick", "cycle", "tick", "", "MT", "36.5||||||OFF|开启|循环", "cycle -1 on", ""},
    {"tick after a single query", "single", "tick", "", "", idle, "status -1 on", ""},
    {"tick during firmware upload", "firmware", "tick", "", "", idle, "firmware -1 on", ""},
    {"single query", "status", "single", "", "MT,VER FULL,KEY 1,DACINFO",
     "36.5|FW 2.1.0|PL 1.3|WAVE-A1|||OFF|开启|循环", "single -1 on", ""},
    {"cycle start", "status", "AUTO", "3", "", "||||||OFF|开启|停止", "cycle 3000 on", ""},
    {"switch on", "cycle", "GOorSTOP", "开启", "MOD ON", idle, "status 1000 on", ""},
    {"switch off", "single", "GOorSTOP", "关闭", "MOD OFF", "||||||OFF|关闭|循环", "status 1000 on", ""},
    {"switch, other caption", "status", "GOorSTOP", "x", "MOD OFF", "||||||OFF|x|循环", "status 1000 on", ""},
    {"DAC lower bound", "cycle", "DAC_BU", "9", "key 3,DAC 9,boot", "||||||OFF|开启|循环", "cycle -1 on", ""},
    {"DAC blanks kept", "status", "DAC_BU", " 20 ", "key 3,DAC  20 ,boot", idle, "status -1 on", ""},
    {"DAC above range", "status", "DAC_BU", "31.6", "", idle, "status -1 on", "数值超出范围"},
    {"DAC empty", "status", "DAC_BU", "", "", idle, "status -1 on", ""},
    {"status reply", "status", "recv", "MOD: ON\r\nDAC: 12.5\r\nAST: 0\r\n", "", "||||0|12.5|ON|关闭|循环", "status -1 on", ""},
    {"status reply ignores info keys", "status", "recv", "MT: 30\r\nFirmware Vers: 2\r\nPL Vers: 3\r\nSN: W\r\n", "",
     idle, "status -1 on", ""},
    {"status reply ends at NUL", "status", "recv", "MOD: ON\r\n\\0DAC: 3\r\n", "", "||||||ON|关闭|循环", "status -1 on", ""},
    {"info reply", "single", "recv", "MT: 30.5\r\nFirmware Vers: 2.1\r\nPL Vers: 1.3\r\nSN: WAVE\r\nAST: 2\r\nMOD: ON\r\nDAC: 15\r\n",
     "", "30.5|2.1|1.3|WAVE|2||OFF|关闭|循环", "single -1 on", ""},
    {"cycle reply", "cycle", "recv", "MT:25.6\r\nMOD: OFF\r\n", "", "5.6||||||OFF|开启|循环", "cycle -1 on", ""},
    {"reply in no mode", "7", "recv", "MOD: ON\r\nMT: 30\r\n", "", idle, "7 -1 on", ""},
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void action_data() { addRows(rows); }
    void action()
    {
        QFETCH(int, row);
        const Row &r = rows[row];
        SimFixture f;
        QVERIFY(f.connectQuietly());
        QCOMPARE(f.view(), QString::fromUtf8(idle));
        recvMode = SimFixture::mode(r.modeBefore);
        const QByteArray input = unescaped(r.input);
        if (!strcmp(r.action, "tick")) {
            QVERIFY(QMetaObject::invokeMethod(f.window, "handleTimeout"));
        } else if (!strcmp(r.action, "recv")) {
            f.sim.send(input);
        } else {
            if (auto *edit = f.widget<QLineEdit>(!strcmp(r.action, "AUTO") ? "TIME" : "DAC_SET"))
                edit->setText(input);
            if (!strcmp(r.action, "GOorSTOP"))
                f.widget<QPushButton>("GOorSTOP")->setText(QString::fromUtf8(input));
            f.click(r.action);
        }
        const QByteArrayList lines = *r.lines ? QByteArray(r.lines).split(',') : QByteArrayList();
        QTRY_COMPARE(f.lines(), lines);
        QTest::qWait(120); // the answer to the last command
        QCOMPARE(f.lines(), lines);
        QVERIFY(f.linesSpacedBy(100));
        QCOMPARE(f.view(), QString::fromUtf8(r.view));
        QCOMPARE(f.state(), QString(r.state));
        QCOMPARE(f.dialogs.texts().mid(1).join(QLatin1Char(';')), QString::fromUtf8(r.box));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
