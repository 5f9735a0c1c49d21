// The main window's operations on a connected module: the timer tick, the
// buttons and the replies, each row one action and what must follow.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
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
    void cycleWithQueryAndSwitch();
    void dacTwoQuickClicks();
    void oneReadIsOneChunk();
    void transferStartedInsideATick_data();
    void transferStartedInsideATick();
    void singleQueryJustBeforeATick();
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
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(sizeof rows / sizeof *rows); ++i)
        QTest::newRow(rows[i].name) << i;
}

void TestMainWindow::action()
{
    QFETCH(int, row);
    const Row &r = rows[row];
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QCOMPARE(f.view(), QString::fromUtf8(idle));
    recvMode = r.modeBefore;
    const QByteArray input = QByteArray(r.input).replace("\\0", QByteArray(1, '\0'));
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

void TestMainWindow::cycleWithQueryAndSwitch()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QLineEdit>("TIME")->setText("3");
    f.click("AUTO");
    f.click("single");
    tick(f);
    // The cycle has ended (mode 4) though the caption still says 停止; the
    // switch restarts the timer, and 停止 then takes the stop branch.
    QCOMPARE(QString::number(recvMode) + f.text("AUTO"), QStringLiteral("4停止"));
    f.click("GOorSTOP");
    QCOMPARE(pollTimer->interval(), 1000);
    f.click("AUTO");
    QCOMPARE(QString::number(recvMode) + f.text("AUTO"), QStringLiteral("4循环"));
    QCOMPARE(pollTimer->interval(), 2000);
}

void TestMainWindow::dacTwoQuickClicks()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    f.widget<QLineEdit>("DAC_SET")->setText("20");
    QTimer::singleShot(50, f.window, [&] {
        f.widget<QLineEdit>("DAC_SET")->setText("25");
        f.click("DAC_BU");
    });
    f.click("DAC_BU");
    QCOMPARE(f.lines(), QByteArrayList({"key 3", "key 3", "DAC 25", "boot", "DAC 20", "boot"}));
    QCOMPARE(f.sim.dac, QByteArray("20"));
}

void TestMainWindow::oneReadIsOneChunk()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    recvMode = 4;
    // Pieces within the 20 ms gathering wait make one chunk; pieces further
    // apart are parsed each on its own, nothing carried over.
    f.sim.send("MOD: O");
    QTimer::singleShot(5, [&] { f.sim.send("N\r\n"); });
    QTimer::singleShot(150, [&] { f.sim.send("DAC: 2"); });
    QTimer::singleShot(300, [&] { f.sim.send("5\r\n"); });
    QTest::qWait(450);
    QCOMPARE(f.view(), QStringLiteral("|||||2|ON|关闭|循环"));
}

void TestMainWindow::transferStartedInsideATick_data()
{
    QTest::addColumn<bool>("log");
    QTest::newRow("log download") << true;
    QTest::newRow("firmware upload") << false;
}

void TestMainWindow::transferStartedInsideATick()
{
    QFETCH(bool, log);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QTemporaryDir dir;
    QFile file(dir.filePath("image.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(3000, 'x')) == 3000);
    file.close();
    f.dialogs.filesToChoose << file.fileName();
    QMainWindow *upgrade = log ? nullptr : f.openUpgrade(1);
    if (upgrade)
        QTest::mouseClick(upgrade->findChild<QPushButton *>("openfile"), Qt::LeftButton);
    // The transfer starts between the tick's "MOD" and "ast".
    QTimer::singleShot(150, [&] {
        if (upgrade)
            QTest::mouseClick(upgrade->findChild<QPushButton *>("sendfile"), Qt::LeftButton);
        else
            f.widget<QAction>("rizhi")->trigger();
    });
    tick(f);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts().mid(1), QStringList(log ? "日志下载完成" : "更新完成"), 10000);
    QCOMPARE(f.lines().mid(0, 3), QByteArrayList({"key 3", "MOD", log ? "dump logtext" : "RECV FW"}));
    QVERIFY(!f.sim.received().contains("ast\r\n"));
}

void TestMainWindow::singleQueryJustBeforeATick()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    pollTimer->start(1000);
    QTest::qWait(950);
    // Without a fresh period the tick would end the query after its first answer.
    f.click("single");
    QTest::qWait(150);
    QCOMPARE(f.view(), QStringLiteral("36.5|FW 2.1.0|PL 1.3|WAVE-A1|||OFF|开启|循环"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
