// The module simulator on its own, seen from a raw client on the device.
#include "modulesim.h"

#include <QDebug>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

// The far end of the line, opened the way a terminal program would.
class RawClient
{
public:
    explicit RawClient(const QString &path)
    {
        fd = ::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio;
        if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~RawClient() { if (fd >= 0) ::close(fd); }

    void write(const QByteArray &bytes) { QVERIFY(::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size()); }

    // Everything that arrives within ms, with the event loop running.
    QByteArray read(int ms = 100)
    {
        QByteArray all;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QTest::qWait(5);
            char buf[4096];
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) > 0)
                all.append(buf, int(n));
        }
        return all;
    }

    int fd = -1;
};

// A block framed by hand with a CRC the caller chooses.
QByteArray block(quint8 number, const QByteArray &data, quint16 crc)
{
    QByteArray b;
    b += STX;
    b += char(number);
    b += char(255 - number);
    b += data;
    b += char(crc >> 8);
    b += char(crc & 0xFF);
    return b;
}

// Sends a file through python3-xmodem, an XMODEM-1K sender written apart from
// this project, so that the simulator's receiver is checked against it.
bool pythonSend(ModuleSim &sim, const QString &device, const QByteArray &file, const QByteArray &command,
                bool *sendResult)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("payload.bin");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return false;
    out.close();
    const QString script = QStringLiteral(
        "import os, sys, select, termios, tty, logging\n"
        "from xmodem import XMODEM\n"
        "logging.disable(logging.CRITICAL)\n"
        "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
        "tty.setraw(fd)\n"
        "def getc(size, timeout=1):\n"
        "    data = b''\n"
        "    while len(data) < size:\n"
        "        r, _, _ = select.select([fd], [], [], timeout)\n"
        "        if not r: return data or None\n"
        "        data += os.read(fd, size - len(data))\n"
        "    return data\n"
        "def putc(data, timeout=1): return os.write(fd, data)\n"
        "os.write(fd, sys.argv[3].encode() + b'\\r\\n')\n"
        "with open(sys.argv[2], 'rb') as f:\n"
        "    ok = XMODEM(getc, putc, mode='xmodem1k').send(f, retry=8, timeout=2)\n"
        "print('SENT' if ok else 'FAILED')\n");
    QProcess python;
    // Debian's interpreter, which has the python3-xmodem package.
    python.start("/usr/bin/python3", {"-c", script, device, path, QString::fromLatin1(command)});
    if (!python.waitForStarted())
        return false;
    // The simulator lives on this thread: keep its event loop running.
    if (!QTest::qWaitFor([&] { return python.state() == QProcess::NotRunning; }, 60000))
        return false;
    const QByteArray output = python.readAllStandardOutput();
    *sendResult = output.contains("SENT");
    Q_UNUSED(sim);
    if (python.exitCode() != 0)
        qWarning() << python.readAllStandardError();
    return python.exitCode() == 0;
}

QByteArray padded(const QByteArray &file)
{
    QByteArray out = file;
    while (out.size() % 1024)
        out += char(0x1A);
    return out;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void answersCommands();
    void recordsTranscriptWithTimes();
    void receivesFromIndependentSender();
    void naksBadBlocksAndKeepsGoodOnes();
    void nakFaultThenRecovery();
    void cancelFault();
    void promptPositionAfterEot_data();
    void promptPositionAfterEot();
    void toolCancelEndsReceive();
    void logDumpInPieces();
    void silentAndRawAnswer();
    void paceAtBaud();
    void hangUpEndsLine();
    void commandLineTool();
};

void TestSimulator::answersCommands()
{
    ModuleSim sim;
    sim.temperature = "41.5";
    RawClient c(sim.devicePath());
    const struct { const char *command, *answer; } table[] = {
        {"MT", "MT: 41.5\r\n"},
        {"VER FULL", "Firmware Vers: FW 2.1.0\r\nPL Vers: PL 1.3\r\nSN: WAVE-A1\r\n"},
        {"MOD", "MOD: OFF\r\n"},
        {"MOD ON", ""},
        {"MOD", "MOD: ON\r\n"},
        {"ast", "AST: 0\r\n"},
        {"DAC  20.5", ""},
        {"dac", "DAC: 20.5\r\n"},
        {"DACINFO", "DAC: 20.5\r\n"},
        {"KEY 1", ""}, {"key 3", ""}, {"boot", ""}, {"LOADDAC", ""},
        {"mt", "Unknown command\r\n"},
    };
    for (const auto &row : table) {
        c.write(QByteArray(row.command) + "\r\n");
        QCOMPARE(c.read(60), QByteArray(row.answer));
    }
    QVERIFY(sim.outputOn);
}

void TestSimulator::recordsTranscriptWithTimes()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    c.write("MT\r\n");
    c.read(150);
    c.write("ast\r\n");
    c.read(20);
    const auto commands = sim.commands();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands[0].line, QByteArray("MT"));
    QCOMPARE(commands[1].line, QByteArray("ast"));
    QVERIFY(commands[1].ms - commands[0].ms >= 140);
    QCOMPARE(sim.received(), QByteArray("MT\r\nast\r\n"));
    QVERIFY(sim.transcript().size() >= 2);
    sim.clearTranscript();
    QVERIFY(sim.received().isEmpty() && sim.commands().isEmpty());
}

void TestSimulator::receivesFromIndependentSender()
{
    ModuleSim sim;
    QByteArray file;
    for (int i = 0; i < 3000; ++i)
        file += char((i * 7 + 3) & 0xFF);
    bool sent = false;
    QVERIFY(pythonSend(sim, sim.devicePath(), file, "RECV FW", &sent));
    QVERIFY(sent);
    QCOMPARE(sim.upload(ModuleSim::Target::Firmware), padded(file));
    QCOMPARE(sim.blocksAccepted(), 3);
    QCOMPARE(sim.naksSent(), 0);
    QVERIFY(!sim.inTransfer());
}

void TestSimulator::naksBadBlocksAndKeepsGoodOnes()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    c.write("RECV DATA\r\n");
    QCOMPARE(c.read(50), QByteArray("C"));
    const QByteArray data(1024, 'A');
    c.write(block(1, data, 0x0000));                 // wrong check value
    QCOMPARE(c.read(50), QByteArray(1, NAK));
    QByteArray badHeader = block(1, data, 0);
    badHeader[2] = 0x00;                             // complement does not match
    c.write(badHeader);
    QCOMPARE(c.read(50), QByteArray(1, NAK));
    c.write(QByteArray(10, 'x'));                    // noise: NAK once the line is quiet
    QCOMPARE(c.read(1300), QByteArray(1, NAK));
    QVERIFY(sim.inTransfer());
    QVERIFY(sim.upload(ModuleSim::Target::Data).isEmpty());
    QCOMPARE(sim.naksSent(), 3);
}

void TestSimulator::nakFaultThenRecovery()
{
    ModuleSim sim;
    sim.nakNextBlocks(2);
    const QByteArray file(2500, 'z');
    bool sent = false;
    QVERIFY(pythonSend(sim, sim.devicePath(), file, "RECV DATA", &sent));
    QVERIFY(sent);
    QCOMPARE(sim.naksSent(), 2);
    QCOMPARE(sim.upload(ModuleSim::Target::Data), padded(file));
}

void TestSimulator::cancelFault()
{
    ModuleSim sim;
    sim.cancelAtBlock(2);
    QSignalSpy ended(&sim, &ModuleSim::uploadEnded);
    bool sent = true;
    QVERIFY(pythonSend(sim, sim.devicePath(), QByteArray(4000, 'q'), "RECV FW", &sent));
    QVERIFY(!sent);
    QCOMPARE(sim.upload(ModuleSim::Target::Firmware), QByteArray(1024, 'q'));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().at(1).toBool(), false);
}

void TestSimulator::promptPositionAfterEot_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("setPos");
    QTest::addColumn<int>("expectedPos");
    QTest::newRow("firmware default") << QByteArray("RECV FW") << -1 << 3;
    QTest::newRow("data default") << QByteArray("RECV DATA") << -1 << 33;
    QTest::newRow("chosen 10") << QByteArray("RECV FW") << 10 << 10;
    QTest::newRow("chosen 1") << QByteArray("RECV DATA") << 1 << 1;
}

void TestSimulator::promptPositionAfterEot()
{
    QFETCH(QByteArray, command);
    QFETCH(int, setPos);
    QFETCH(int, expectedPos);
    ModuleSim sim;
    sim.setPromptPos(setPos);
    RawClient c(sim.devicePath());
    c.write(command + "\r\n");
    QCOMPARE(c.read(50), QByteArray("C"));
    c.write(QByteArray(1, EOT));
    const QByteArray end = c.read(50);
    QCOMPARE(end.at(0), ACK);
    QCOMPARE(end.indexOf('>'), expectedPos);
    QCOMPARE(end.count('>'), 1);
    QVERIFY(!end.contains('C'));
    QVERIFY(!sim.inTransfer());
    // Back in command mode: a stray second EOT is ignored and commands answer.
    c.write(QByteArray(1, EOT) + "MT\r\n");
    QCOMPARE(c.read(50), QByteArray("MT: 36.5\r\n"));
}

void TestSimulator::toolCancelEndsReceive()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    c.write("RECV FW\r\n");
    c.read(30);
    c.write(QByteArray(5, CAN));
    QCOMPARE(c.read(50), QByteArray("\r\n>"));
    QVERIFY(!sim.inTransfer());
}

void TestSimulator::logDumpInPieces()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    c.write("dump logtext\r\n");
    QCOMPARE(c.read(50), sim.logText + ">");

    sim.logText = "line one\r\nline two\r\n";
    sim.logPieceBytes = 10;
    sim.logGapMs = 80;
    c.write("dump logtext\r\n");
    QByteArray first = c.read(40);
    QCOMPARE(first, QByteArray("line one\r\n"));
    QCOMPARE(first + c.read(300), QByteArray("line one\r\nline two\r\n>"));
}

void TestSimulator::silentAndRawAnswer()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    sim.setSilent(true);
    c.write("MT\r\nMOD\r\n");
    QCOMPARE(c.read(60), QByteArray());
    QCOMPARE(sim.commands().size(), 2);
    sim.setSilent(false);
    sim.setRawAnswer("MOD: on\r\nX");
    c.write("MT\r\n");
    QCOMPARE(c.read(60), QByteArray("MOD: on\r\nX"));
    sim.send(QByteArray("AST: 7\r\n\0tail", 14));
    QCOMPARE(c.read(60), QByteArray("AST: 7\r\n\0tail", 14));
}

void TestSimulator::paceAtBaud()
{
    ModuleSim sim;
    sim.setBaud(9600); // 960 bytes a second
    sim.logText = QByteArray(479, 'L');
    RawClient c(sim.devicePath());
    QElapsedTimer clock;
    clock.start();
    c.write("dump logtext\r\n");
    QByteArray got;
    while (!got.endsWith('>') && clock.elapsed() < 3000)
        got += c.read(10);
    QCOMPARE(got.size(), 480);
    // 14 command bytes in and 480 bytes out take about half a second.
    QVERIFY2(clock.elapsed() >= 480, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
}

void TestSimulator::hangUpEndsLine()
{
    ModuleSim sim;
    RawClient c(sim.devicePath());
    QVERIFY(sim.isOpen());
    sim.hangUp();
    QVERIFY(!sim.isOpen());
    pollfd probe{c.fd, POLLIN, 0};
    QCOMPARE(::poll(&probe, 1, 100), 1);
    QVERIFY(probe.revents & POLLHUP);
    sim.send("MT: 1\r\n"); // no line, no crash
}

void TestSimulator::commandLineTool()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("module");
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/../sim/module-sim",
               {"--link", link, "--temp", "22.5", "--on", "--dac", "9"});
    QVERIFY(tool.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return tool.canReadLine() || tool.state() == QProcess::NotRunning; }, 5000));
    const QByteArray first = tool.readLine();
    QVERIFY2(first.startsWith("module-sim: device /dev/pts/"), first.constData());
    QTRY_VERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLatin1(first.mid(19).trimmed()));

    RawClient c(link);
    c.write("MT\r\nMOD\r\ndac\r\n");
    QByteArray got;
    QVERIFY(QTest::qWaitFor([&] { got += c.read(10); return got.size() >= 27; }, 3000));
    QCOMPARE(got, QByteArray("MT: 22.5\r\nMOD: ON\r\nDAC: 9\r\n"));

    ::kill(pid_t(tool.processId()), SIGTERM);
    QVERIFY(tool.waitForFinished(3000));
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
