// Firmware and waveform data uploads through the password prompt and the
// upgrade windows, checked byte for byte on the module's side of the line.
#include "mainwindow/globals.h"
#include "simfixture.h"
#include "upgrade/xmodem.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

QByteArray fileOf(int size)
{
    QByteArray file;
    for (int i = 0; i < size; ++i)
        file += char((i * 7 + i / 1024) & 0xFF);
    return file;
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &content)
{
    static int files = 0;
    QFile out(dir.filePath(QString::number(++files) + ".bin"));
    out.open(QIODevice::WriteOnly);
    out.write(content);
    return out.fileName();
}

// "打开文件", "更新" or "取消" of either upgrade window.
enum Button { Open, Send, Stop };
QPushButton *button(QMainWindow *w, Button which)
{
    static const char *const names[2][3] = {{"openfile", "sendfile", "sendstop"}, {"open", "send", "stop"}};
    return w->findChild<QPushButton *>(names[w->objectName() == "FS"][which]);
}

void press(QMainWindow *w, Button which)
{
    QTest::mouseClick(button(w, which), Qt::LeftButton);
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void crc16AndBlock();
    void transfer_data();
    void transfer();
    void refusals();
    void linkLostBehindTheEndBox_data();
    void linkLostBehindTheEndBox();
    void password();
    void independentReceiver();
};

void TestUpgrade::crc16AndBlock()
{
    QCOMPARE(crc16Xmodem("123456789"), quint16(0x31C3));
    const QByteArray block = xmodemBlock(0xFF, "ab");
    QCOMPARE(block.size(), 1029);
    QCOMPARE(block.left(5), QByteArray("\x02\xFF\x00" "ab", 5));
    QCOMPARE(block.mid(5, 1022), QByteArray(1022, 0x1A));
    const quint16 crc = crc16Xmodem(block.mid(3, 1024));
    QCOMPARE(block.right(2), QByteArray(1, char(crc >> 8)) + char(crc & 0xFF));
    QCOMPARE(xmodemBlock(0, QByteArray(1024, 'x')).left(3), QByteArray("\x02\x00\xFF", 3));
}

namespace {

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
} rows[] = {
    {"1024 bytes: one block, no padding", 1, 1024, 0, "", -1, "1", eot, "更新完成", "100", "1K|2K|1"},
    {"1025 bytes: one byte in a padded block", 1, 1025, 0, "", -1, "1-2", eot, "更新完成", "100", "2K|2K|1"},
    {"3000 bytes", 1, 3000, 0, "", -1, "1-3", eot, "更新完成", "68,100", "3K|3K|1"},
    {"257 blocks: numbers wrap to 0", 2, 257 * 1024 - 5, 0, "", -1, "1-257", load, "更新完成", "98,99,100", "257K|257K|1"},
    {"NAK resends", 1, 3000, 2, "\x15", -1, "1,2,2,3", eot, "更新完成", "68,100", "3K|3K|1"},
    {"NAK and ACK in one read resend", 2, 2048, 1, "\x15\x06", -1, "1,1,2", load, "更新完成", "100", "2K|3K|1"},
    {"C while blocks flow is ignored", 1, 3000, 1, "C\x06", -1, "1-3", eot, "更新完成", "68,100", "3K|3K|1"},
    {"ACK before the first C is ignored", 1, 2048, 0, "\x06", -1, "1-2", eot, "更新完成", "100", "2K|3K|1"},
    {"module cancels with a C", 2, 3000, 1, "\x18" "C", -1, "1", "", "停止更新", "", "0K|0K|0"},
    {"a prompt before the last block is no success", 1, 3000, 1, "\x06\r\n>", -1, "1-2", "", "更新未完成", "68", "1K|3K|1"},
    {"firmware prompt at 9", 1, 1000, 0, "", 9, "1", eot, "更新完成", "100", "1K|1K|1"},
    {"firmware prompt at 10", 1, 1000, 0, "", 10, "1", eot, "更新未完成", "", "1K|1K|1"},
    {"data prompt at 32", 2, 1000, 0, "", 32, "1", eot, "更新失败", "", "1K|1K|1"},
    {"data prompt at 34", 2, 1000, 0, "", 34, "1", eot, "更新失败", "", "1K|1K|1"},
    {"operator cancels firmware", 1, 3000, 2, nullptr, -1, "1-2", cans, "更新未完成", "68,0", "0K|0K|0"},
    {"closing the data window cancels", 2, 3000, 2, closes, -1, "1-2", cans, "更新失败", "68,0", "0K|0K|0"},
};

} // namespace

void TestUpgrade::transfer_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(sizeof rows / sizeof *rows); ++i)
        QTest::newRow(rows[i].name) << i;
}

void TestUpgrade::transfer()
{
    QFETCH(int, row);
    const Row &r = rows[row];
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QMainWindow *w = f.openUpgrade(r.target);
    QTemporaryDir dir;
    const QByteArray file = fileOf(r.size);
    f.dialogs.filesToChoose << writeFile(dir, file);
    press(w, Open);
    f.sim.setRequestInterval(100);
    f.sim.setPromptPos(r.promptPos);
    f.sim.setPromptDelay(60); // the prompt in a read of its own, after the last ACK
    if (r.scriptFrame == 0 && *r.script)
        f.sim.setGreeting(r.script);
    else if (r.scriptFrame)
        f.sim.scriptAnswer(r.scriptFrame, r.script == closes ? nullptr : r.script);
    QStringList jindu;
    connect(w->findChild<QProgressBar *>("jindu"), &QProgressBar::valueChanged, [&](int v) { jindu << QString::number(v); });

    press(w, Send);
    QCOMPARE(recvMode, r.target + 1);
    QVERIFY(f.linkControlsEnabled(false) && !button(w, Send)->isEnabled());
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

    QByteArray wire = r.target == 1 ? "RECV FW\r\n" : "RECV DATA\r\n";
    for (const QString &run : QString(r.blocks).split(',')) {
        for (int b = run.section('-', 0, 0).toInt(); b <= run.section('-', -1).toInt(); ++b)
            wire += xmodemBlock(quint8(b), file.mid((b - 1) * 1024, 1024));
    }
    QCOMPARE(f.sim.received().toHex(), (wire + r.tail).toHex());
    QCOMPARE(f.dialogs.texts().last(), QString::fromUtf8(r.box));
    QCOMPARE(jindu.mid(qMax(0, jindu.size() - 3)).join(','), QString(r.progress));
    QCOMPARE(w->findChild<QPushButton *>("yifasong")->text() + '|' + w->findChild<QPushButton *>("zongdaxiao")->text()
             + '|' + QString::number(!w->findChild<QTextEdit *>("filename")->toPlainText().isEmpty()), QString(r.displays));
    QCOMPARE(recvMode, 4);
    QCOMPARE(pollTimer->isActive() ? pollTimer->interval() : -1, 2000);
    QVERIFY(f.linkControlsEnabled());
    if (r.tail == eot || r.tail == load) {
        // The two EOT bytes (the last two on the wire) 10 ms apart; the load commands 20 ms apart.
        QList<qint64> at;
        for (const ModuleSim::Received &read : f.sim.transcript())
            at += QVector<qint64>(read.bytes.count(Xmodem::EOT), read.ms).toList();
        QVERIFY(at.last() - at[at.size() - 2] >= 10 - 5 && f.linesSpacedBy(20));
    }
}

void TestUpgrade::refusals()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QMainWindow *fw = f.openUpgrade(1);
    QMainWindow *data = f.openUpgrade(2);
    QTemporaryDir dir;
    const QString empty = writeFile(dir, QByteArray());
    auto start = [&](QMainWindow *w, const QString &path, bool removed = false) {
        if (!path.isEmpty()) {
            f.dialogs.filesToChoose << path;
            press(w, Open);
        }
        if (removed)
            QFile::remove(path);
        press(w, Send);
        return f.dialogs.texts().mid(1).join(';');
    };
    recvMode = 6;
    QCOMPARE(start(fw, QString()), QStringLiteral("未选择文件"));
    QCOMPARE(start(fw, empty), QStringLiteral("未选择文件;文件为空"));
    QCOMPARE(start(data, writeFile(dir, "x"), true), QStringLiteral("未选择文件;文件为空;文件读取失败"));
    QCOMPARE(f.dialogs.boxes.last().title, QStringLiteral("Error"));
    QTest::qWait(50);
    QVERIFY(f.sim.received().isEmpty());
    QCOMPARE(recvMode, 6);
    QVERIFY(f.linkControlsEnabled() && fw->findChild<QPushButton *>("sendfile")->isEnabled());

    // A module that never answers the cancel: the upload ends 3 s later as a
    // cancelled one, and the next start is clean.
    f.sim.scriptAnswer(1, "");
    start(fw, writeFile(dir, fileOf(1500)));
    QVERIFY(f.linkControlsEnabled(false));
    QTRY_COMPARE(f.sim.blocksAccepted(), 1);
    QCOMPARE(start(data, empty).section(';', -1), QStringLiteral("已有升级正在进行"));
    press(data, Stop); // not this window's upload: nothing of it goes on the line
    f.sim.setSilent(true);
    press(fw, Stop);
    QTest::qWait(2800);
    QVERIFY(f.linkControlsEnabled(false));
    // A prompt the module sends late, while the end box is up, ends nothing again.
    f.sim.setSilent(false);
    f.dialogs.pressAfterMs = 200;
    f.dialogs.onShown = [&] { f.sim.send("\r\n>"); };
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts().last(), QStringLiteral("更新未完成"), 1000);
    QTest::qWait(100);
    QCOMPARE(f.dialogs.texts().count(QStringLiteral("更新未完成")), 1);
    f.dialogs.onShown = nullptr;
    f.dialogs.pressAfterMs = 0;
    QCOMPARE(QString::number(recvMode) + ' ' + QString::number(pollTimer->isActive() ? pollTimer->interval() : -1), "4 2000");
    QVERIFY(f.linkControlsEnabled());
    f.sim.setSilent(false);
    // Each window uploads the file it shows, whatever the other chose since.
    f.dialogs.filesToChoose << writeFile(dir, fileOf(1500)) << writeFile(dir, "other");
    press(fw, Open);
    press(data, Open);
    press(fw, Send);
    QTRY_COMPARE(f.dialogs.texts().last(), QStringLiteral("更新完成"));
    QCOMPARE(f.sim.upload(ModuleSim::Target::Firmware).left(1500), fileOf(1500));

    // An upload cut by the loss of the line is over; after a new connect the
    // next one, from the other window, starts afresh at block 1.
    f.sim.scriptAnswer(1, "");
    press(fw, Stop); // the buttons again after 更新完成
    start(fw, writeFile(dir, fileOf(3000)));
    QTRY_VERIFY(f.sim.inTransfer() && f.sim.blocksAccepted() == 1);
    f.sim.hangUp();
    QTRY_VERIFY(!serialPort->isOpen());
    QVERIFY(f.sim.reopen());
    portNameSetting = f.sim.devicePath();
    QVERIFY(f.connectLink());
    start(data, writeFile(dir, fileOf(1500)));
    QTRY_COMPARE(f.dialogs.texts().last(), QStringLiteral("更新完成"));
    QCOMPARE(f.sim.upload(ModuleSim::Target::Data).left(1500), fileOf(1500));

    // Closing the window of a finished upload keeps the status view polled.
    pollTimer->stop();
    recvMode = 2;
    fw->close();
    QCOMPARE(recvMode, 4);
    QCOMPARE(pollTimer->isActive() ? pollTimer->interval() : -1, 2000);

    // With the link closed nothing would reach the module.
    f.click("DAKAI");
    press(data, Stop); // writes nothing on the closed line
    QCOMPARE(start(data, writeFile(dir, "x")).section(';', -1), QStringLiteral("串口未连接"));
}

void TestUpgrade::linkLostBehindTheEndBox_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("data upload") << QStringLiteral("更新完成");
    QTest::newRow("log download") << QStringLiteral("日志下载完成");
}

void TestUpgrade::linkLostBehindTheEndBox()
{
    QFETCH(QString, end);
    SimFixture f;
    QVERIFY(f.connectQuietly());
    QMainWindow *w = f.openUpgrade(2);
    QTemporaryDir dir;
    f.dialogs.filesToChoose << writeFile(dir, fileOf(100)) << dir.filePath("module.log");
    press(w, Open);
    f.dialogs.pressAfterMs = 300;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->text() == end) {
            watch.stop();
            f.sim.hangUp();
        }
    });
    watch.start(10);
    if (end == QStringLiteral("更新完成"))
        press(w, Send);
    else
        f.widget<QAction>("rizhi")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts().mid(1), QStringList({"串口断开连接", end}), 5000);
    // Neither the load commands, nor polling, nor the CAN bytes of "取消" go to
    // the closed port (a write there fails the fixture).
    QTest::qWait(100);
    press(w, Stop);
    QVERIFY(!pollTimer->isActive() && f.linkControlsEnabled(false));
}

void TestUpgrade::password()
{
    SimFixture f;
    QVERIFY(f.connectQuietly());
    for (const char *typed : {"QUMBELTB", "", "qumbelta", " QUMBELTA", "QUMBELTA "})
        QVERIFY2(!f.openUpgrade(1, typed), typed);
    QCOMPARE(f.dialogs.boxes.last().title + f.dialogs.texts().mid(1).join(QString()),
             "错误" + QStringLiteral("密码错误").repeated(5));
    QVERIFY(f.openUpgrade(1) && f.openUpgrade(2));
    QCOMPARE(f.window->findChild<QLineEdit *>("mi")->echoMode(), QLineEdit::Password);
    // Two prompts open at once both open the window of the entry chosen last.
    f.widget<QAction>("shengji")->trigger();
    f.widget<QAction>("fs")->trigger();
    const auto prompts = f.window->findChildren<QMainWindow *>("mima");
    for (QMainWindow *prompt : prompts.mid(7)) {
        prompt->findChild<QLineEdit *>("mi")->setText("QUMBELTA");
        QTest::mouseClick(prompt->findChild<QPushButton *>("que"), Qt::LeftButton);
        QVERIFY(prompt->findChild<QMainWindow *>("FS"));
    }
    for (QMainWindow *prompt : prompts)
        QVERIFY(!prompt->isVisible());
}

void TestUpgrade::independentReceiver()
{
    // python3-xmodem receives on a pseudo-terminal of its own, then prints
    // the prompt as the module would.
    QTemporaryDir dir;
    QProcess receiver;
    receiver.start("/usr/bin/python3", {QStringLiteral(TESTS_DIR "/support/xmodem_receive.py"), dir.filePath("got.bin")});
    QVERIFY(receiver.waitForReadyRead(5000));
    SimFixture f;
    portNameSetting = QString::fromUtf8(receiver.readLine().trimmed());
    f.click("DAKAI");
    QVERIFY(serialPort->isOpen());
    QMainWindow *w = f.openUpgrade(1);
    const QByteArray file = fileOf(300 * 1024 - 7);
    f.dialogs.filesToChoose << writeFile(dir, file);
    press(w, Open);
    press(w, Send);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.texts().last(), QStringLiteral("更新完成"), 60000);
    QVERIFY(receiver.waitForFinished(5000));
    QFile got(dir.filePath("got.bin"));
    QVERIFY(got.open(QIODevice::ReadOnly));
    QVERIFY(got.readAll() == file + QByteArray(7, 0x1A)); // the padding of the last block is kept
}

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
