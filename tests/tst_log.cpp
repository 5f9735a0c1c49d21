// The log download: what the module sends, what lands in the file, and the
// state the main window is left in.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "testdata.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const char *const done = "status 2000 on";

const struct Row {
    const char *name;
    const char *modeBefore; // SimFixture::mode()
    bool newFile;        // the file chosen is not there yet (else it holds an older log)
    const char *pieces;  // what the module sends, '|' between pieces 60 ms apart; "hang up": the line goes
    const char *file, *box;
    const char *after;   // SimFixture::state()
    const char *late = nullptr; // an answer to an earlier command, arriving as the download starts
    int baud = 0;               // the line's speed (0: at once)
    const char *before = nullptr; // the log of a download that finished just before
    const char *behindBox = nullptr; // what the module sends while the end box is up, saved too
} rows[] = {
    {"the end of the log and the prompt in one piece, into a new file", "single", true, "a\r\n|b\r\n>", "a\r\nb\r\n>",
     "日志下载完成", done},
    {"NUL and bytes above 0x7F saved unchanged", "status", false, "x\\0y\xff\r\n温度\r\n|> \r\n", "x\\0y\xff\r\n温度\r\n> \r\n",
     "日志下载完成", done},
    {"a '>' inside the log is log text, the prompt alone last", "status", false, "temp > 50\r\n|ok>>\r\nend\r\n|>", "temp > 50\r\nok>>\r\nend\r\n>",
     "日志下载完成", done},
    {"started during the automatic cycle, which goes on after it", "cycle", false, "log\r\n>", "log\r\n>", "日志下载完成", "cycle 3000 on"},
    {"an answer still on its way is no log", "single", false, "log\r\n|>", "log\r\n>", "日志下载完成", done, "MT: 30.5\r\n"},
    {"an answer still arriving on a slow line is no log", "single", false, "log\r\n>", "log\r\n>", "日志下载完成", done,
     "Firmware Vers: FW 2.1.0\r\nPL Vers: PL 1.3\r\nSN: WAVE-A1\r\n", 1200},
    {"the line lost", "status", false, "part one\r\n|hang up", "part one\r\n", "串口断开连接", "log -1 off"},
    {"the module falls silent after a finished download", "status", false, "\r\n", "\r\n", "日志下载未完成", done,
     nullptr, 0, "first\r\n>"},
    {"what comes behind the end box is saved too", "status", false, "log\r\n|>", "log\r\n>late\r\n", "日志下载完成", done,
     nullptr, 0, nullptr, "late\r\n"},
};

} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void download_data() { addRows(rows); }
    void download()
    {
        QFETCH(int, row);
        const Row &r = rows[row];
        SimFixture f;
        QVERIFY(f.connectQuietly());
        QTemporaryDir dir;
        const QString path = dir.filePath("module.log");
        if (!r.newFile)
            QVERIFY(!writeFile(path, "an older, longer log\r\n").isEmpty());
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
        recvMode = SimFixture::mode(r.modeBefore);
        if (recvMode == 0) {
            f.widget<QLineEdit>("TIME")->setText("3");
            f.click("AUTO");
        }
        QByteArrayList pieces = unescaped(r.pieces).split('|');
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
        QCOMPARE(f.state(), QString("log -1 off"));
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
        QCOMPARE(fileContents(path), unescaped(r.file));
        QCOMPARE(f.dialogs.questions.size(), int(existed)); // asked before a file is replaced
        QVERIFY(!pollingBehindBox);
        QCOMPARE(f.state(), QString(r.after));
        QCOMPARE(f.text("AUTO"), QString::fromUtf8(r.after == QByteArray("cycle 3000 on") ? "停止" : "循环"));
    }
};

QTEST_MAIN(TestLog)
#include "tst_log.moc"
