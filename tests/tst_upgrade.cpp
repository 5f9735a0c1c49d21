// Firmware and waveform data uploads through the password prompt and the
// upgrade windows, checked byte for byte on the module's side of the line;
// the module's receiver itself against an independent sender.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "testdata.h"
#include "protocol/xmodem.h"

#include <QAction>
#include <QTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <sys/stat.h>

namespace {

enum Button { Open, Send, Stop };
void press(QMainWindow *w, Button which)
{
    QTest::mouseClick(SimFixture::upgradeButton(w, which), Qt::LeftButton);
}

const char *const eot = "\x04\x04";
const char *const load = "\x04\x04KEY 1\r\nLOADDAC\r\n";
const char *const cans = "\x18\x18\x18\x18\x18";
const char *const closes = "the operator closes the window";

const struct Row {
    const char *name;
    int target, size;
    int scriptFrame;     // the module answers this block frame (0: RECV) ...
    const char *script;  // ... with these bytes; none or closes: the operator cancels
    int promptPos;
    const char *blocks;  // file blocks on the wire, in order: "1-3" or "1,1,2"
    const char *tail;    // what follows them on the wire
    const char *box, *progress /* jindu's last three values */, *displays /* yifasong|zongdaxiao|filename kept */;
    int promptDelay = 60; // the farewell this long after the final ACK, in a read of its own; 0: in the ACK's read
    int replyDelay = 0;   // the module answers commands this late, and a status poll goes out just before
    const char *special = nullptr; // the file chosen instead: "fifo" one made for the row, or this path
} rows[] = {
    {"1024 bytes: one block, no padding", 1, 1024, 0, "", -1, "1", eot, "更新完成", "100", "1K|2K|1"},
    {"1025 bytes: one byte in a padded block", 1, 1025, 0, "", -1, "1-2", eot, "更新完成", "100", "2K|2K|1"},
    {"257 blocks: numbers wrap to 0", 2, 257 * 1024 - 5, 0, "", -1, "1-257", load, "更新完成", "98,99,100", "257K|257K|1"},
    {"NAK resends", 1, 3000, 2, "\x15", -1, "1,2,2,3", eot, "更新完成", "68,100", "3K|3K|1"},
    {"NAK and ACK in one read resend", 2, 2048, 1, "\x15\x06", -1, "1,1,2", load, "更新完成", "100", "2K|3K|1"},
    {"ACK before the first C is ignored", 1, 2048, 0, "\x06", -1, "1-2", eot, "更新完成", "100", "2K|3K|1"},
    {"module cancels with two CAN, a C and its prompt in one read", 2, 3000, 1, "\x18\x18" "C\r\n>", -1, "1", "", "停止更新", "", "0K|0K|0"},
    {"a lone CAN before the ACK is noise", 2, 3000, 1, "\x18\x06", -1, "1-3", load, "更新完成", "68,100", "3K|3K|1"},
    {"a prompt before the last block: no success, the module told to leave", 1, 3000, 1, "\x06\r\n>", -1, "1-2", cans, "更新未完成", "68", "1K|3K|1"},
    {"firmware prompt at 10", 1, 1000, 0, "", 10, "1", eot, "更新未完成", "", "1K|1K|1"},
    {"data prompt at 33 of the final ACK's read", 2, 1000, 0, "", 33, "1", load, "更新完成", "100", "1K|1K|1", 0},
    {"data prompt at 35 of the final ACK's read", 2, 1000, 0, "", 35, "1", eot, "更新失败", "", "1K|1K|1", 0},
    {"a poll answered 1.5 s late, its alarm holding 'C' and '>'", 1, 1024, 0, "", -1, "1", eot, "更新完成", "100", "1K|2K|1", 60, 1500},
    {"operator cancels firmware", 1, 3000, 2, nullptr, -1, "1-2", cans, "更新未完成", "68,0", "0K|0K|0"},
    {"closing the data window cancels", 2, 3000, 2, closes, -1, "1-2", cans, "更新失败", "68,0", "0K|0K|0"},
    {"a FIFO is refused, never opened", 1, 0, 0, "", -1, "", "", "不是普通文件", "", "0K|0K|1", 60, 0, "fifo"},
    {"a device is refused, never read", 2, 0, 0, "", -1, "", "", "不是普通文件", "", "0K|0K|1", 60, 0, "/dev/zero"},
};

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void transfer_data() { addRows(rows); }
    void transfer()
    {
        QFETCH(int, row);
        const Row &r = rows[row];
        SimFixture f;
        QVERIFY(f.connectQuietly());
        QMainWindow *w = f.openUpgrade(r.target);
        QTemporaryDir dir;
        const QByteArray file = blockPattern(r.size);
        const QString path = r.special && *r.special == '/' ? QString(r.special) : dir.filePath("image.bin");
        QVERIFY(r.special ? *r.special == '/' || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 : !writeFile(path, file).isEmpty());
        f.dialogs.filesToChoose << path;
        press(w, Open);
        f.sim.setRequestInterval(100);
        f.sim.setPromptPos(r.promptPos);
        f.sim.setPromptDelay(r.promptDelay);
        if (r.scriptFrame == 0 && *r.script)
            f.sim.setGreeting(r.script);
        else if (r.scriptFrame)
            f.sim.scriptAnswer(r.scriptFrame, r.script == closes ? nullptr : r.script);
        QStringList jindu;
        connect(w->findChild<QProgressBar *>("jindu"), &QProgressBar::valueChanged, [&](int v) { jindu << QString::number(v); });

        if (r.replyDelay) {
            f.sim.alarm = "TEMP>60C";
            f.sim.setReplyDelay(r.replyDelay);
            QVERIFY(QMetaObject::invokeMethod(f.window, "handleTimeout"));
            QTRY_COMPARE(f.sim.commands().size(), 4);
            f.sim.clearTranscript();
        }
        press(w, Send);
        QCOMPARE(f.state(), r.special ? "status -1 on" : r.target == 1 ? "firmware -1 off" : "data -1 off");
        QVERIFY(SimFixture::upgradeButton(w, Send)->isEnabled() == bool(r.special));
        if (!r.script || r.script == closes) {
            QTRY_COMPARE(f.sim.blocksAccepted(), r.scriptFrame);
            if (r.script == closes)
                w->close();
            else
                press(w, Stop);
            // The line stays the upload's until the module's prompt ends it.
            QVERIFY(f.linkControlsEnabled(false));
        }
        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.boxes.size(), 2, 20000);
        QTest::qWait(80);

        QByteArray wire = !*r.blocks ? "" : r.target == 1 ? "RECV FW\r\n" : "RECV DATA\r\n";
        for (const QString &run : QString(r.blocks).split(',', Qt::SkipEmptyParts)) {
            for (int b = run.section('-', 0, 0).toInt(); b <= run.section('-', -1).toInt(); ++b)
                wire += xmodemBlock(quint8(b), file.mid((b - 1) * 1024, 1024));
        }
        QCOMPARE(f.sim.received().toHex(), (wire + r.tail).toHex());
        QCOMPARE(f.dialogs.texts().last(), QString::fromUtf8(r.box));
        QCOMPARE(jindu.mid(qMax(0, jindu.size() - 3)).join(','), QString(r.progress));
        QCOMPARE(w->findChild<QPushButton *>("yifasong")->text() + '|' + w->findChild<QPushButton *>("zongdaxiao")->text()
                 + '|' + QString::number(!w->findChild<QTextEdit *>("filename")->toPlainText().isEmpty()), QString(r.displays));
        QCOMPARE(f.state(), QString(r.special ? "status -1 on" : "status 2000 on"));
        if (r.tail == eot || r.tail == load) {
            // The two EOT bytes (the last two on the wire) 10 ms apart; the load commands 20 ms apart.
            QList<qint64> at;
            for (const ModuleSim::Received &read : f.sim.transcript())
                at += QVector<qint64>(read.bytes.count(Xmodem::EOT), read.ms).toList();
            QVERIFY(at.last() - at[at.size() - 2] >= 10 - 5 && f.linesSpacedBy(20));
        }
    }

    void password()
    {
        // Two prompts open at once both open the window of the entry chosen last.
        SimFixture f;
        QVERIFY(f.connectQuietly());
        f.widget<QAction>("shengji")->trigger();
        f.widget<QAction>("fs")->trigger();
        for (QMainWindow *prompt : f.window->findChildren<QMainWindow *>("mima")) {
            prompt->findChild<QLineEdit *>("mi")->setText("QUMBELTA");
            QTest::mouseClick(prompt->findChild<QPushButton *>("que"), Qt::LeftButton);
            QVERIFY(prompt->findChild<QMainWindow *>("FS") && !prompt->isVisible());
        }
    }

    // The simulator's receiver, by which every upload here is judged, against
    // an independent sender (lrzsz's sx), so that a fault of its own cannot pass.
    void simulatorAgainstIndependentSender()
    {
        ModuleSim sim;
        sim.setRequestInterval(100);
        QFile line(sim.devicePath());
        QVERIFY(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && line.write("RECV FW\r\n") == 9);
        QTemporaryDir dir;
        const QByteArray file = blockPattern(300 * 1024 - 7); // block numbers wrap, the last block padded
        QProcess sx;
        sx.setStandardInputFile(sim.devicePath());
        sx.setStandardOutputFile(sim.devicePath(), QIODevice::Append);
        sx.start("sx", {"-k", writeFile(dir.filePath("image.bin"), file)});
        QTRY_VERIFY_WITH_TIMEOUT(sx.state() == QProcess::NotRunning, 10000); // the module runs in this event loop
        QCOMPARE(sx.exitCode(), 0);
        QVERIFY(sim.lastUpload().complete);
        const QByteArray got = sim.upload(ModuleSim::Target::Firmware);
        QCOMPARE(got.left(file.size()), file);
        QCOMPARE(got.mid(file.size()), QByteArray(got.size() - file.size(), 0x1A)); // the padding, however sx blocks its tail
    }
};

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
