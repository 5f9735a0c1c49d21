// The log download: what the module sends, what lands in the file, and the
// state the main window is left in.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "testdata.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void download_data();
    void download();
};

namespace {

const struct Row {
    const char *name;
    int modeBefore;
    const char *path;    // empty: a file that holds an older log; "new": a file not there yet
    const char *pieces;  // what the module sends, '|' between pieces 60 ms apart; "hang up": the line goes;
                         // "state log": 80 lines "state N -> N+1", each piece ending in its '>', at 115200
    const char *file, *box;
    int modeAfter;
    const char *late = nullptr; // an answer to an earlier command, arriving as the download starts
    int baud = 0;               // the line's speed (0: at once)
    const char *before = nullptr; // the log of a download that finished just before
    const char *behindBox = nullptr; // what the module sends while the end box is up, saved too
} rows[] = {
    {"three pieces, the prompt alone last", 4, "", "line one\r\n|line two\r\n|>", "line one\r\nline two\r\n>",
     "日志下载完成", 4},
    {"the end of the log and the prompt in one piece, into a new file", 6, "new", "a\r\n|b\r\n>", "a\r\nb\r\n>",
     "日志下载完成", 4},
    {"NUL and bytes above 0x7F saved unchanged", 4, "", "x\\0y\xff\r\n温度\r\n|> \r\n", "x\\0y\xff\r\n温度\r\n> \r\n",
     "日志下载完成", 4},
    {"the prompt, then its line end in a read of its own", 4, "", "a\r\n>|\r\n", "a\r\n>\r\n", "日志下载完成", 4},
    {"a '>' inside the log is log text", 4, "", "temp > 50\r\n|ok>>\r\nend\r\n|>", "temp > 50\r\nok>>\r\nend\r\n>",
     "日志下载完成", 4},
    {"reads that end in a '>' of the log", 4, "", "state log", "", "日志下载完成", 4},
    {"started during the automatic cycle, which goes on after it", 0, "", "log\r\n>", "log\r\n>", "日志下载完成", 0},
    {"an answer still on its way is no log", 6, "", "log\r\n|>", "log\r\n>", "日志下载完成", 4, "MT: 30.5\r\n"},
    {"an answer still arriving on a slow line is no log", 6, "", "log\r\n>", "log\r\n>", "日志下载完成", 4,
     "Firmware Vers: FW 2.1.0\r\nPL Vers: PL 1.3\r\nSN: WAVE-A1\r\n", 1200},
    {"the line lost", 4, "", "part one\r\n|hang up", "part one\r\n", "串口断开连接", 5},
    {"the module falls silent after a finished download", 4, "", "\r\n", "\r\n", "日志下载未完成", 4,
     nullptr, 0, "first\r\n>"},
    {"a file that takes no data", 4, "/dev/full", "log\r\n|>", "", "日志文件写入失败", 4},
    {"what comes behind the end box is saved too", 4, "", "log\r\n|>", "log\r\n>late\r\n", "日志下载完成", 4,
     nullptr, 0, nullptr, "late\r\n"},
};

} // namespace

void TestLog::download_data()
{
    addRows(rows);
}

void TestLog::download()
{
    QFETCH(int, row);
    const Row &r = rows[row];
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QTemporaryDir dir;
    QString path = QString::fromLatin1(r.path);
    const bool replaced = path.isEmpty();
    if (replaced || path == "new")
        path = dir.filePath("module.log");
    if (replaced)
        QVERIFY(!writeFile(path, "an older, longer log\r\n").isEmpty());
    QByteArray expected = unescaped(r.file);
    if (!strcmp(r.pieces, "state log")) {
        // Each piece ends right after a '>' of the log text, as a read may.
        f.sim.logText = "boot ";
        for (int n = 10; n < 90; ++n)
            f.sim.logText += QByteArray("state ") + QByteArray::number(n) + " -> " + QByteArray::number(n + 1) + "\r\n";
        f.sim.logPieceBytes = 16;
        f.sim.logGapMs = 30;
        f.sim.setBaud(115200);
        expected = f.sim.logText + '>';
    }
    if (r.before) {
        f.sim.setRawAnswer(r.before);
        f.dialogs.filesToChoose << dir.filePath("before.log");
        f.widget<QAction>("rizhi")->trigger();
        QTRY_COMPARE(f.dialogs.texts().value(1), QStringLiteral("日志下载完成"));
        f.dialogs.boxes.removeLast();
        pollTimer->stop();
        f.sim.clearTranscript();
    }
    f.dialogs.filesToChoose << path;
    f.sim.setBaud(r.baud);
    // The module's last answer is old: the wait for a quiet line must still
    // give an answer to a command just written its time.
    QTest::qWait(400);
    if (r.modeBefore == 0) {
        f.widget<QLineEdit>("TIME")->setText("3");
        f.click("AUTO");
    }
    recvMode = r.modeBefore;
    const bool stateLog = !strcmp(r.pieces, "state log");
    QByteArrayList pieces = stateLog ? QByteArrayList() : unescaped(r.pieces).split('|');
    if (!stateLog)
        f.sim.setRawAnswer(pieces.takeFirst());
    if (r.late)
        QTimer::singleShot(80, [&] { f.sim.send(r.late); });
    QElapsedTimer clock;
    clock.start();
    qint64 dumpAt = -1, boxAt = -1;
    QObject::connect(&f.sim, &ModuleSim::commandReceived, [&](const QByteArray &line) {
        if (line == "dump logtext")
            dumpAt = clock.elapsed();
    });
    if (r.behindBox) {
        f.dialogs.pressAfterMs = 200;
        f.dialogs.onShown = [&] {
            if (dumpAt >= 0) // the end box, not the question before the file is replaced
                f.sim.send(r.behindBox);
        };
    }
    bool pollingBehindBox = false;
    f.dialogs.onBox = [&](const ModalHandler::Box &) {
        pollingBehindBox |= pollTimer->isActive();
        boxAt = clock.elapsed();
    };
    const bool existed = QFile::exists(path);
    f.widget<QAction>("rizhi")->trigger();
    QCOMPARE(recvMode, 5);
    QVERIFY(!pollTimer->isActive());
    QVERIFY(f.linkControlsEnabled(false));
    for (const QByteArray &piece : pieces) {
        QTest::qWait(60);
        if (piece == "hang up")
            f.sim.hangUp();
        else
            f.sim.send(piece);
    }
    const QStringList box{QString::fromUtf8(r.box)};
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts().mid(1).join(";"), box.join(";"), 20000);
    // 15 s of silence from the dump's request, not less (the module reads
    // the request a moment after the tool's timer starts).
    QVERIFY2(box.first() != QStringLiteral("日志下载未完成") || boxAt - dumpAt >= 15000 - 5,
             qPrintable(QString::number(boxAt - dumpAt)));
    QTest::qWait(50);
    QCOMPARE(f.dialogs.texts().mid(1), box);
    QCOMPARE(f.sim.commands().first().line, QByteArray("dump logtext"));
    if (!path.startsWith("/dev/")) // a device reads back no file
        QCOMPARE(fileContents(path), expected);
    QCOMPARE(f.dialogs.questions.size(), int(existed)); // asked before a file is replaced
    QVERIFY(!pollingBehindBox);
    QCOMPARE(recvMode, r.modeAfter);
    const bool open = r.modeAfter != 5;
    QCOMPARE(pollTimer->isActive() ? pollTimer->interval() : -1, open ? (r.modeAfter ? 2000 : 3000) : -1);
    QVERIFY(f.linkControlsEnabled(open));
    QCOMPARE(f.text("AUTO"), QString::fromUtf8(r.modeBefore == 0 ? "停止" : "循环"));
}

QTEST_MAIN(TestLog)
#include "tst_log.moc"
