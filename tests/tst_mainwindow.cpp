// The main window's operations on a connected module: the timer tick, the
// buttons and the replies, each row one action and what must follow.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "testdata.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const char *const idle = "||||||OFF|开启|循环";

void tick(SimFixture &f)
{
    QVERIFY(QMetaObject::invokeMethod(f.window, "handleTimeout"));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void action_data();
    void action();
};

namespace {

const struct Row {
    const char *name;
    int modeBefore;
    const char *action;  // "tick", "recv" or the button clicked
    const char *input;   // bytes from the module, or the text typed for the button
    const char *lines;   // the command lines the module receives
    const char *view;
    int modeAfter, interval; // -1: timer stopped
    const char *box;
} rows[] = {
    {"poll tick", 4, "tick", "", "key 3,MOD,ast,dac", "||||0|12.5|OFF|开启|循环", 4, -1, ""},
    {"cycle tick", 0, "tick", "", "MT", "36.5||||||OFF|开启|循环", 0, -1, ""},
    {"tick after a single query", 6, "tick", "", "", idle, 4, -1, ""},
    {"tick during firmware upload", 2, "tick", "", "", idle, 2, -1, ""},
    {"single query", 4, "single", "", "MT,VER FULL,KEY 1,DACINFO",
     "36.5|FW 2.1.0|PL 1.3|WAVE-A1|||OFF|开启|循环", 6, -1, ""},
    {"cycle start", 4, "AUTO", "3", "", "||||||OFF|开启|停止", 0, 3000, ""},
    {"switch on", 0, "GOorSTOP", "开启", "MOD ON", idle, 4, 1000, ""},
    {"switch off", 6, "GOorSTOP", "关闭", "MOD OFF", "||||||OFF|关闭|循环", 4, 1000, ""},
    {"switch, other caption", 4, "GOorSTOP", "x", "MOD OFF", "||||||OFF|x|循环", 4, 1000, ""},
    {"DAC lower bound", 0, "DAC_BU", "9", "key 3,DAC 9,boot", "||||||OFF|开启|循环", 0, -1, ""},
    {"DAC blanks kept", 4, "DAC_BU", " 20 ", "key 3,DAC  20 ,boot", idle, 4, -1, ""},
    {"DAC above range", 4, "DAC_BU", "31.6", "", idle, 4, -1, "数值超出范围"},
    {"DAC empty", 4, "DAC_BU", "", "", idle, 4, -1, ""},
    {"status reply", 4, "recv", "MOD: ON\r\nDAC: 12.5\r\nAST: 0\r\n", "", "||||0|12.5|ON|关闭|循环", 4, -1, ""},
    {"status reply ignores info keys", 4, "recv", "MT: 30\r\nFirmware Vers: 2\r\nPL Vers: 3\r\nSN: W\r\n", "",
     idle, 4, -1, ""},
    {"status reply ends at NUL", 4, "recv", "MOD: ON\r\n\\0DAC: 3\r\n", "", "||||||ON|关闭|循环", 4, -1, ""},
    {"info reply", 6, "recv", "MT: 30.5\r\nFirmware Vers: 2.1\r\nPL Vers: 1.3\r\nSN: WAVE\r\nAST: 2\r\nMOD: ON\r\nDAC: 15\r\n",
     "", "30.5|2.1|1.3|WAVE|2||OFF|关闭|循环", 6, -1, ""},
    {"cycle reply", 0, "recv", "MT:25.6\r\nMOD: OFF\r\n", "", "5.6||||||OFF|开启|循环", 0, -1, ""},
    {"reply in no mode", 7, "recv", "MOD: ON\r\nMT: 30\r\n", "", idle, 7, -1, ""},
};

} // namespace

void TestMainWindow::action_data()
{
    addRows(rows);
}

void TestMainWindow::action()
{
    QFETCH(int, row);
    const Row &r = rows[row];
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QCOMPARE(f.view(), QString::fromUtf8(idle));
    recvMode = r.modeBefore;
    const QByteArray input = unescaped(r.input);
    if (!strcmp(r.action, "tick")) {
        tick(f);
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
    QCOMPARE(recvMode, r.modeAfter);
    QCOMPARE(pollTimer->isActive() ? pollTimer->interval() : -1, r.interval);
    QCOMPARE(f.dialogs.texts().mid(1).join(QLatin1Char(';')), QString::fromUtf8(r.box));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
