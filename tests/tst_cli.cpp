#include "modulesim.h"
#include "ser2net.h"
#include "line/lineprobe.h"
#include "simcontrol.h"
#include "testdata.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>

namespace {

const struct Row {
    const char *name;
    const char *args;    // leading NAME=VALUE words go to the environment (RECORD: the record's text before,
                         // LIMIT: the program's file size limit, WRAP: a mode of cli_wrap.py); {file}, {dir},
                         // {link} (to the module), {bare} (its name under /dev), {refused}, {silent} (servers that refuse the connection,
                         // never answer), {slow-lookup} (a resolver that never answers, to preload); --text: no --json
    int size;            // bytes of {file}; -1: none
    const char *faults;  // the module's, as control commands (';' between), "answer HEX" to every command,
                         // "held" by another program, "via socket|rfc2217[ [::1]]" reached through ser2net
                         // (its uploads rich in 0xFF), "via ser2net holding it" (a client of ser2net has it),
                         // "via faulty ARGS" (faulty_telnet.py); "python": python3-xmodem instead
    int exitCode;        // 5: the upload has no record line
    const char *events;  // per port ('|'): event;key=value;…  (an upload event also means a record line; event*: every one)
    const char *wire;    // ';': nothing, stored, load, noload, cancel (and out of receive mode), log (saved
                         // as sent), kept ({file}), +COMMAND, -TEXT (never written), !TEXT (said by the program),
                         // speed=N (the module's line set to N baud), within=MS (the program ended in time), gap=MS (no pause
                         // that long between the module's reads), grid=MS (watch's polls MS apart), logend (the dump ended first)
    const char *during = nullptr; // once the module holds back its answer to block 2 ("@end": once its receive
                         // ended, "@MS": MS after the start): sigint, sighup, closeout (standard output closed
                         // by then; the answer goes out), stop (SIGSTOP for 1.5 s), "stop-server" (ser2net), a control command, "" (silence)
    const char *second = nullptr; // faults of a second module run at the same time; null: one port
} rows[] = {
    {"status", "status", -1, "", 0, "status;output=OFF;dac=12.5;temperature=36.5;firmware=FW 2.1.0;waveform=WAVE-A1", "+VER FULL"},
    {"status into a pipe nobody reads", "WRAP=gone status", -1, "", 1, "", "+VER FULL;!results not written to standard output: Broken pipe"},
    {"status of a silent module", "status", -1, "silent on", 1, "error;code=1", "+DACINFO"},
    {"status of a module answering garbage", "status", -1, "answer 3f3f0d0a", 1, "error;code=1", "+DACINFO"},
    {"status on a slow line: the answers wait for the quiet", "status", -1, "baud 1200", 0,
     "status;temperature=36.5;firmware=FW 2.1.0;waveform=WAVE-A1", "+VER FULL"},
    {"status answered 1.5 s late, an alarm holding '>'", "status", -1, "reply-delay 1500;alarm TEMP>60C", 0,
     "status;output=OFF;alarm=TEMP>60C;dac=12.5;waveform=WAVE-A1", "+VER FULL"},
    {"status after a module still sending", "status", -1, "", 0, "status;output=OFF;temperature=36.5", "",
     "@150 garbage 4d543a2039392e390d0a4d4f443a204f4e0d0a"},
    {"the same module by its link and its device", "status -p {link}", -1, "", 2, "", "nothing"},
    {"the same module by its name under /dev and its device", "status -p {bare}", -1, "", 2, "", "nothing"},
    {"a module another program holds", "status", -1, "held", 3, "error;code=3", "nothing;!busy"},
    {"usb: ids not as lsusb prints them", "status -p usb:0x0483:5740", -1, "", 2, "", "nothing"},
    {"usb: an empty serial", "status -p usb:0483:5740:", -1, "", 2, "", "nothing"},
    {"watch twice", "watch --count 2 --interval 1", -1, "", 0, "status;temperature=36.5", "+MT"},
    {"watch every nan seconds", "watch --interval nan", -1, "", 2, "error;code=2", "nothing"},
    {"watch stopped for 1.5 s: back on its grid", "watch --count 5 --interval 1", -1, "", 0, "status;temperature=36.5", "grid=1000", "@1300 stop"},
    {"watch cut by SIGINT", "watch --interval 1", -1, "", 130, "", "", "@200 sigint"},
    {"dac set and read back", "dac 20.5", -1, "", 0, "status;dac=20.5", "+DAC 20.5;+boot"},
    {"dac out of range", "dac 31.6", -1, "", 2, "", "nothing"},
    {"output on, not taken", "output on", -1, "reply-delay 5000", 1, "status;output=", "+MOD ON"},
    {"log", "log {dir}/log.txt", -1, "log-piece 10;log-gap 20", 0, "log;complete=true", "+dump logtext;log"},
    {"log line by line, lines ending in '>'", "log {dir}/log.txt", -1, "log-lines 400;log-text 61203c6f6b3e0d0a62203c6f6b3e0d0a", 0,
     "log;complete=true;bytes=17", "log"},
    {"log into an existing file", "log {file}", 10, "", 2, "", "nothing;kept"},
    {"a log file that fills up: the dump read to its end", "LIMIT=100 log {dir}/log.txt", -1, "log-piece 30;log-gap 150;log-text "
     "323032362d31322d30312030383a30303a303020706f776572206f6e0d0a323032362d31322d30312030383a30303a30322073656c662074657374206f6b0d0a"
     "323032362d31322d30312030393a31343a3330206f7574707574206f6e0d0a323032362d31322d30312030393a31353a30302074656d70657261747572652034"
     "312e350d0a323032362d31322d30312030393a32303a3030206f7574707574206f66660d0a", 1, "log;complete=false;bytes=100", "!File too large;logend"},
    {"a port that is not there beside one that is", "status -p {dir}/none", -1, "", 3, "error;code=3|status;output=OFF", "+MOD"},
    {"firmware", "upload firmware {file}", 3000, "", 0, "upload;result=done;blocks=3;naks=0;size=3000", "stored;noload"},
    {"data, 257 blocks", "upload data {file}", 257 * 1024 - 5, "", 0, "upload;result=done;blocks=257", "stored;load"},
    {"firmware to python3-xmodem", "upload firmware {file}", 300 * 1024 - 7, "python", 0, "upload;result=done", "stored;noload"},
    {"NAKs resend", "upload data {file}", 3000, "nak 2", 0, "upload;result=done;naks=2", "stored;load"},
    {"ten NAKs in a row, the cancel lost", "upload firmware {file}", 3000, "nak 10;miss-cancel 1", 1, "upload;result=failed;naks=10", "cancel"},
    {"module cancels", "upload data {file}", 3000, "cancel-at 2", 1, "upload;result=module-cancelled;blocks=1", "noload"},
    {"data, the farewell 100 ms after the ACK", "upload data {file}", 1000, "prompt-delay 100", 0, "upload;result=done", "stored;load"},
    {"data, a farewell of its own with the prompt at 31", "upload data {file}", 1000, "prompt-delay 100;prompt-pos 31", 1, "upload;result=failed",
     "noload"},
    {"data, the farewell in the ACK's read", "upload data {file}", 1000, "prompt-delay 5;prompt-pos 32", 0, "upload;result=done", "stored;load"},
    {"data, no farewell within the silence limit", "upload data {file}", 1000, "prompt-delay 11000", 1, "upload;result=timeout;blocks=1",
     "noload;!took every block but gave no verdict within 10 s"},
    {"data, SIGINT before the farewell", "upload data {file}", 3000, "prompt-delay 200", 130, "upload;result=done;after=", "stored;load",
     "@end sigint"},
    {"silent mid-upload, the cancel lost", "upload firmware {file}", 5000, "miss-cancel 1", 1, "upload;result=timeout;blocks=1", "cancel", ""},
    {"hang-up mid-upload", "upload firmware {file}", 5000, "", 3, "upload;result=lost", "!may still be in receive mode", "hangup"},
    {"SIGINT mid-upload, the cancel lost", "upload data {file}", 5000, "miss-cancel 1", 130, "upload;result=cancelled", "cancel;noload", "sigint"},
    {"SIGHUP mid-upload", "upload firmware {file}", 5000, "", 130, "upload;result=cancelled", "cancel", "sighup"},
    {"standard output closed mid-upload", "upload data {file}", 5000, "", 0, "upload;result=done", "stored;load", "closeout"},
    {"to a module answering garbage", "upload firmware {file}", 3000, "answer 3f3f0d0a", 1, "", "-RECV"},
    {"firmware, the result in words", "upload firmware {file} --text --no-record", 3000, "", 0, "", "stored;!file%1.bin (3000 bytes): done,"},
    {"a folder to upload", "upload data {dir}", -1, "", 2, "", "nothing;!is a folder"},
    {"a device to upload", "upload data /dev/null", -1, "", 2, "", "nothing;!is a device"},
    {"a record line cut before", "RECORD={\"cut upload firmware {file}", 3000, "", 0, "upload;result=done", "stored"},
    {"a full disk: the record line taken back", "RECORD=x LIMIT=100 upload firmware {file}", 3000, "", 5, "upload;result=done",
     "stored;!uploads.jsonl could not be written: File too large"},
    {"no place for the record", "XDG_DATA_HOME=xdg HOME= upload firmware {file}", 3000, "", 2, "", "nothing;!HOME"},
    {"wrong password", "DUDAZE_PASSWORD=qumbelta upload firmware {file}", 3000, "", 4, "error;code=4", "nothing"},
    {"the password asked on the terminal, standard error elsewhere", "WRAP=tty upload firmware {file}", 3000, "", 0, "upload;result=done", "stored"},
    {"a file name that is no UTF-8", "WRAP=latin1 upload firmware {file}", 3000, "", 0, "upload;result=done", "stored"},
    {"a reader that stops for 4 s: no block waits for it", "WRAP=stall upload data {file}", 20000, "", 0, "upload;result=done", "stored;load;gap=2000"},
    {"all standard descriptors closed: an error is no interrupt", "WRAP=closed upload firmware {file}", 3000, "", 3, "upload;result=done", "stored",
     nullptr, "held"},
    {"empty file", "upload firmware {file}", 0, "", 2, "", "nothing"},
    {"record not writable", "upload firmware {file} --record {file}/x", 3000, "", 2, "", "nothing;!file%1.bin is a file, not a folder"},
    {"a record on a device", "upload firmware {file} --record /dev/full", 3000, "", 2, "", "nothing;!cannot be kept: it is a device"},
    {"two ports, one cancels", "upload firmware {file}", 3000, "", 1, "upload;result=done|upload;result=module-cancelled", "stored", nullptr,
     "cancel-at 1"},
    // A poll's answers take about 700 ms plus the module's lateness: with 300 ms
    // the next turn comes as they end, with 1500 ms while they are still owed.
    {"watch at an interval the module's answers just fill", "watch --count 2 --interval 1", -1, "reply-delay 300", 0,
     "status*;output=OFF;temperature=36.5", "+MT"},
    {"watch at an interval the module's answers outlast", "watch --count 2 --interval 1", -1, "reply-delay 1500", 0,
     "status*;output=OFF;temperature=36.5", "+MT"},

    // Modules behind ser2net.
    {"status over rfc2217:// at 57600", "status -b 57600 --parity even", -1, "via rfc2217;baud 57600", 0,
     "status;output=OFF;firmware=FW 2.1.0;waveform=WAVE-A1", "+VER FULL;speed=57600"},
    {"data over socket://", "upload data {file}", 3000, "via socket;baud 115200", 0, "upload;result=done", "stored;load"},
    {"firmware over rfc2217://", "upload firmware {file}", 6000, "via rfc2217;baud 115200", 0, "upload;result=done;naks=0", "stored;noload"},
    {"data over rfc2217://[::1]", "upload data {file}", 3000, "via rfc2217 [::1];baud 115200", 0, "upload;result=done", "stored;load"},
    {"a local module and one over rfc2217://", "upload firmware {file}", 3000, "", 0, "upload;result=done|upload;result=done", "stored", nullptr,
     "via rfc2217;baud 115200"},
    {"the server stopped mid-upload", "upload firmware {file}", 5000, "via rfc2217", 3, "upload;result=lost", "!connection to the server was lost",
     "stop-server"},
    {"SIGINT mid-upload over rfc2217://", "upload data {file}", 5000, "via rfc2217", 130, "upload;result=cancelled", "cancel;noload", "sigint"},
    {"rfc2217:// to a raw port, the module silent", "status", -1, "via socket as rfc2217;silent on", 3, "error;code=3", "!a raw port?;lineend"},
    {"socket:// to an RFC 2217 port", "upload data {file}", 3000, "via rfc2217 as socket", 3, "error;code=3", "!use rfc2217://;-RECV"},
    {"a local module a client of ser2net has", "status", -1, "via ser2net holding it", 3, "error;code=3", "nothing;!busy: ser2net"},
    {"a server that keeps its own speed", "status", -1, "via faulty --keep-speed 9600", 3, "error;code=3",
     "nothing;!the server refuses speed 115200 baud (it set 9600 baud)"},
    {"a speed answered, then contradicted at once", "status", -1, "via faulty --contradict 9600", 3, "error;code=3", "nothing;!(it set 9600 baud)"},
    {"a speed changed once the line is open", "watch --count 3 --interval 1", -1, "via faulty --contradict 9600 --delay 0.7", 3, "",
     "!(it set 9600 baud)"},
    {"a server that turns binary off once the line is open", "watch --count 3 --interval 1", -1, "via faulty --binary-off 0", 3, "",
     "!the server refuses binary transmission"},
    {"a server sending keep-alives only", "status", -1, "via faulty --keepalive-only", 3, "error;code=3",
     "nothing;!did not agree the line settings;within=7000"},
    {"a notice with a command and the module's words inside", "status", -1, "via faulty --sub-inject=MOD:\\x20ON\\r\\n", 0, "status;output=OFF", "+MOD"},
    {"firmware through Telnet split at every byte", "upload firmware {file}", 3000, "via faulty --split;baud 115200", 0, "upload;result=done", "stored;noload"},
    {"a server that closes once the line is agreed", "status", -1, "via faulty --drop-at open", 3, "error;code=3", "!The remote host closed"},
    {"a refused connection", "status -p {refused}", -1, "", 3, "error;code=3|status;output=OFF", "!Connection refused;within=3000"},
    {"a server that never answers", "status -p {silent}", -1, "", 3, "error;code=3", "!no answer within 5 s;within=7000"},
    {"a name that does not resolve", "status -p rfc2217://no-such-host.invalid:2217", -1, "", 3, "error;code=3",
     "!cannot reach the server;within=7000"},
    {"rfc2217:// without a port", "status -p rfc2217://localhost", -1, "", 2, "", "nothing;!rfc2217://HOST:PORT"},
    {"socket:// port out of range", "status -p socket://[::1]:65536", -1, "", 2, "", "nothing"},
    {"one server by a name and an address", "status -p socket://localhost:2217 -p socket://127.0.0.1:2217", -1, "", 2, "",
     "nothing;!given before"},
    {"a name lookup that hangs", "LD_PRELOAD={slow-lookup} ASAN_OPTIONS=verify_asan_link_order=0 status -p socket://slow.test:2217", -1, "", 3,
     "error;code=3|status;output=OFF", "!not resolved within 5 s;within=7000"},
    {"SIGINT in a name lookup that hangs", "LD_PRELOAD={slow-lookup} ASAN_OPTIONS=verify_asan_link_order=0 status -p socket://slow.test:2217", -1, "",
     130, "", "nothing;within=2500", "@500 sigint"},
    {"one server under two spellings", "status -p socket://127.0.0.1:2217 -p socket://[::ffff:127.0.0.1]:2217", -1, "", 2, "",
     "nothing;!given before"},
};

// Starts one of the tests' python3 helpers, which prints its port first.
QString startPython(QProcess &p, const QStringList &args)
{
    p.start("/usr/bin/python3", args);
    return p.waitForReadyRead(5000) ? QString::fromUtf8(p.readLine().trimmed()) : QString();
}

bool viaServer(const Row &r) { return QByteArray(r.faults).startsWith("via") || QByteArray(r.second).startsWith("via"); }

// Escapes and line ends at every turn ('f' 0xFF, 'r' CR, 'n' NUL), so that a
// stream that takes them for its own or turns them into something else shows.
QByteArray richInFF(int size)
{
    QByteArray image = blockPattern(size);
    for (int i = 0; i < size; ++i)
        if (const char k = "ff...rn..fr.f..."[i % 16]; k != '.')
            image[i] = k == 'f' ? char(0xFF) : k == 'r' ? '\r' : '\0';
    return image;
}

} // namespace

// dudaze-cli run as a script runs it, against module-sim or python3-xmodem.
class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void run_data() { addRows(rows); }
    void init()
    {
        // Rows with a server in them run as a test of their own.
        QFETCH(int, row);
        const bool network = viaServer(rows[row]) || QString(rows[row].args).contains(QRegularExpression("://|\\{(refus|silent)"));
        if (network != qEnvironmentVariableIsSet("CLI_NETWORK"))
            QSKIP("in the other half (CLI_NETWORK)");
        // CLI_PART=K/N runs every N-th row from the K-th.
        const QString part = qEnvironmentVariable("CLI_PART", "1/1");
        if (row % part.section('/', 1).toInt() != part.section('/', 0, 0).toInt() - 1)
            QSKIP("in another part (CLI_PART)");
    }
    void run();
};

void TestCli::run()
{
    QFETCH(int, row);
    QTemporaryDir dir;
    const Row &r = rows[row];
    const QByteArray data = viaServer(r) ? richInFF(qMax(0, r.size)) : blockPattern(qMax(0, r.size));
    QFile file(dir.filePath("file%1.bin"));
    QVERIFY(r.size < 0 || !writeFile(file.fileName(), data).isEmpty());
    const QByteArray padded = data + QByteArray((1024 - data.size() % 1024) % 1024, 0x1A);

    // The modules: simulators with their faults, or python3-xmodem on a pty of its own.
    std::vector<std::unique_ptr<ModuleSim>> sims;
    QStringList ports;
    QProcess python;
    QFile held;
    Ser2net server(dir.path());
    SilentListener silent;
    QProcess faulty;
    QTcpSocket serverClient; // ser2net's client, while ser2net holds the module's device
    quint16 heldVia = 0;
    const bool timed = QByteArray(r.during).startsWith('@');
    const QString moment = timed ? QString(r.during).section(' ', 0, 0).mid(1) : QString();
    const QString during = QString(r.during).section(' ', timed ? 1 : 0);
    const bool independent = QByteArray(r.faults) == "python";
    if (independent)
        ports << startPython(python, {QStringLiteral(TESTS_DIR "/cli_receiver.py"), dir.filePath("got")});
    for (const char *faults : {independent ? nullptr : r.faults, r.second}) {
        if (!faults)
            continue;
        sims.push_back(std::make_unique<ModuleSim>());
        SimControl control(*sims.back());
        QString port = sims.back()->devicePath();
        for (const QByteArray &fault : QByteArray(faults).split(';')) {
            if (fault == "via ser2net holding it") {
                heldVia = QUrl(server.serve(port, false)).port();
            } else if (fault.startsWith("via faulty ")) {
                port = "rfc2217://127.0.0.1:" + startPython(faulty, QStringList{TESTS_DIR "/faulty_telnet.py", port}
                                                                    + QString(fault.mid(11)).split(' '));
            } else if (fault.startsWith("via ")) {
                if (fault.endsWith("[::1]") && !hasIpv6Loopback())
                    QSKIP("no IPv6 loopback on this machine");
                port = server.serve(port, fault.startsWith("via rfc2217"), fault.endsWith("[::1]"));
                if (fault.endsWith("as rfc2217")) // a raw port given as Telnet by mistake, or the other way round
                    port.replace("socket://", "rfc2217://");
                if (fault.endsWith("as socket"))
                    port.replace("rfc2217://", "socket://");
            } else if (fault.startsWith("answer ")) {
                sims.back()->setRawAnswer(QByteArray::fromHex(fault.mid(7)));
            } else if (fault == "held") {
                held.setFileName(sims.back()->devicePath());
                QVERIFY(held.open(QIODevice::ReadWrite) && ::flock(int(held.handle()), LOCK_EX | LOCK_NB) == 0);
            } else
                QVERIFY2(fault.isEmpty() || control.execute(fault) == "ok", fault.constData());
        }
        if (r.during && moment.isEmpty())
            sims.back()->scriptAnswer(2, QByteArray());
        ports << port;
    }
    // The modules' lines must not stay open in the program or a server through inherited descriptors.
    for (int fd = 3; fd < 1024; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (viaServer(r) && faulty.state() == QProcess::NotRunning)
        QVERIFY2(server.start(), qPrintable(server.errors()));
    if (heldVia) { // ser2net opens the device for its client
        serverClient.connectToHost(QHostAddress::LocalHost, heldVia);
        QTRY_VERIFY(!deviceHolder(sims.front()->devicePath()).isEmpty());
    }
    QVERIFY(!ports.contains("") && !ports.contains("rfc2217://127.0.0.1:")); // the helpers started
    if (QByteArray(r.args).contains("{link}"))
        QVERIFY(sims.front()->setLink(dir.filePath("link")));
    QStringList args = QString::fromUtf8(r.args).replace("{file}", file.fileName()).replace("{dir}", dir.path())
                           .replace("{link}", dir.filePath("link")).replace("{bare}", sims.empty() ? QString() : sims.front()->devicePath().mid(5))
                           .replace("{refused}", QString("socket://127.0.0.1:%1").arg(freeLoopbackPort()))
                           .replace("{silent}", QString("rfc2217://127.0.0.1:%1").arg(silent.port()))
                           .replace("{slow-lookup}", SLOW_LOOKUP).split(' ');
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dir.filePath("xdg"));
    env.insert("DUDAZE_PASSWORD", "QUMBELTA");
    while (args.first().contains('=')) {
        const QString setting = args.takeFirst();
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    }
    // Ports named in the row come first, then the modules'.
    QStringList named;
    for (int i = args.indexOf("-p"); i >= 0; i = args.indexOf("-p", i + 1))
        named << args.value(i + 1);
    if (!args.removeOne("--text"))
        args << "--json";
    for (const QString &port : ports)
        args << "-p" << port;
    ports = named + ports;
    const QString recordPath = dir.filePath("xdg/dudaze/uploads.jsonl");
    const QByteArray before = env.value("RECORD").toUtf8();
    QVERIFY(before.isEmpty() || (QDir().mkpath(dir.filePath("xdg/dudaze")) && !writeFile(recordPath, before).isEmpty()));
    // Run by prlimit with a file size limit, or by a wrapper of cli_wrap.py.
    const QStringList via = env.contains("LIMIT") ? QStringList{"prlimit", "--fsize=" + env.value("LIMIT"), CLI_PATH}
                          : env.contains("WRAP") ? QStringList{"/usr/bin/python3", TESTS_DIR "/cli_wrap.py", env.value("WRAP"), CLI_PATH}
                                                 : QStringList{CLI_PATH};
    // Inherited by the program alone, taken back once it runs: a closed
    // pipe's signal as a shell leaves it.
    const auto pipeSignal = ::signal(SIGPIPE, SIG_DFL);
    QProcess cli, head; // closeout: standard output into `head -n 1`, which leaves after a line
    if (during == "closeout") {
        cli.setStandardOutputProcess(&head);
        head.start("head", {"-n", "1"});
    }
    cli.setProcessEnvironment(env);
    QElapsedTimer ran;
    ran.start();
    cli.start(via.first(), via.mid(1) + args);
    const bool started = cli.waitForStarted();
    ::signal(SIGPIPE, pipeSignal);
    QVERIFY(started);
    if (r.during) {
        if (moment == "end")
            QTRY_VERIFY_WITH_TIMEOUT(sims.front()->lastUpload().ended, 10000);
        else if (!moment.isEmpty())
            QTest::qWait(moment.toInt());
        else
            QTRY_VERIFY_WITH_TIMEOUT(sims.front()->blocksAccepted() >= 2, 10000);
        const int signal = during == "sigint" ? SIGINT : during == "sighup" ? SIGHUP : 0;
        if (signal)
            ::kill(pid_t(cli.processId()), signal);
        else if (during == "stop") { // the program stopped for a while, as a loaded machine may
            ::kill(pid_t(cli.processId()), SIGSTOP);
            QTest::qWait(1550);
            ::kill(pid_t(cli.processId()), SIGCONT);
        }
        else if (during == "closeout")
            sims.front()->send(QByteArray(1, 0x06));
        else if (during == "stop-server")
            server.stop();
        else if (!during.isEmpty())
            QCOMPARE(SimControl(*sims.front()).execute(during.toUtf8()), QByteArray("ok"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, 20000);
    const qint64 ranMs = ran.elapsed();
    const QByteArray output = cli.readAllStandardOutput(), said = cli.readAllStandardError() + output;
    QVERIFY2(cli.exitCode() == r.exitCode, qPrintable(QString::number(cli.exitCode()) + ": " + said));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);

    QList<QByteArray> record = fileContents(recordPath).split('\n');
    record.removeAll(QByteArray());
    if (!before.isEmpty()) // kept as it was, on a line of its own
        QCOMPARE(record.takeFirst(), before);
    // Standard output is JSON lines only, each with its event and port; what
    // a closed one could not take, the record holds.
    QList<QJsonObject> events;
    for (const QByteArray &line : (during == "closeout" || env.value("WRAP") == "closed" ? record : output.split('\n'))) {
        QJsonObject event = QJsonDocument::fromJson(line).object();
        event.remove("time");
        QVERIFY2(line.isEmpty() || !args.contains("--json") || (event.contains("event") && event.contains("port")), line.constData());
        events << event;
    }
    const QStringList expected = QString::fromUtf8(r.events).split('|', Qt::SkipEmptyParts);
    int uploads = 0;
    for (int p = 0; p < expected.size(); ++p) {
        QStringList checks = expected[p].split(';');
        QString name = checks.takeFirst();
        const bool every = name.endsWith('*'); // every such event holds, not only the last
        name.remove('*');
        QJsonObject event;
        for (const QJsonObject &e : events) {
            if (e.value("event").toString() != name || !(e.value("port").toString() == ports[p] || e.value("port").isNull()))
                continue;
            event = e;
            for (const QString &check : every ? checks : QStringList())
                QCOMPARE(event.value(check.section('=', 0, 0)).toVariant().toString(), check.section('=', 1));
        }
        QVERIFY2(!event.isEmpty(), qPrintable(name + " for " + ports[p]));
        for (const QString &check : checks)
            QCOMPARE(event.value(check.section('=', 0, 0)).toVariant().toString(), check.section('=', 1));
        if (name != "upload" || r.exitCode == 5)
            continue;
        // Its record line: the same event with the time, whole and parsable.
        QJsonObject line;
        for (const QByteArray &l : record)
            if (QJsonDocument::fromJson(l).object().value("port") == ports[p])
                line = QJsonDocument::fromJson(l).object();
        QVERIFY(line.value("time").toString().endsWith('Z'));
        line.remove("time");
        QCOMPARE(line, event);
        QCOMPARE(event.value("sha256").toString(), QString(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
        ++uploads;
    }
    QCOMPARE(record.size(), uploads);

    // What reached the module.
    QByteArray wire, stored;
    if (independent) {
        QVERIFY(python.waitForFinished(10000));
        QCOMPARE(python.exitCode(), 0);
        stored = fileContents(dir.filePath("got"));
        wire = "RECV\r\n" + fileContents(dir.filePath("got.after")); // what followed the upload
    } else {
        // What the program wrote last may still be on its way through a
        // server: what must have come is waited for.
        const auto has = [&](auto &&what) {
            return QTest::qWaitFor([&] { return what(sims.front()->received()); }, 3000);
        };
        const bool lineEnd = !QByteArray(r.wire).contains("lineend") || has([](const QByteArray &w) { return w.endsWith("\r\n"); });
        const bool loaded = !QByteArray(r.wire).contains(";load") || has([](const QByteArray &w) { return w.contains("KEY 1\r\nLOADDAC\r\n"); });
        QVERIFY(lineEnd && loaded);
        wire = sims.front()->received();
        stored = sims.front()->upload(args.contains("data") ? ModuleSim::Target::Data : ModuleSim::Target::Firmware);
    }
    for (const QString &w : QString::fromUtf8(r.wire).split(';', Qt::SkipEmptyParts)) {
        if (w == "nothing")
            QCOMPARE(wire, QByteArray());
        else if (w == "stored")
            QVERIFY(stored == padded);
        else if (w.startsWith('+'))
            QVERIFY2(wire.contains(w.mid(1).toUtf8() + "\r\n"), qPrintable(w));
        else if (w == "kept")
            QCOMPARE(fileContents(file.fileName()), data);
        else if (w == "log")
            QCOMPARE(fileContents(dir.filePath("log.txt")), sims.front()->logSent());
        else if (w.startsWith('-'))
            QVERIFY2(!wire.contains(w.mid(1).toUtf8()), qPrintable(w));
        else if (w == "lineend") // nothing left half a line in the module
            QVERIFY2(wire.endsWith("\r\n"), wire.toHex().constData());
        else if (w.startsWith("speed="))
            QCOMPARE(sims.front()->lineSpeed(), w.mid(6).toInt());
        else if (w.startsWith("gap=")) { // the module never waited longer for the program
            const auto reads = sims.front()->transcript();
            for (int i = 1; i < reads.size(); ++i)
                QVERIFY2(reads[i].ms - reads[i - 1].ms < w.mid(4).toInt(), qPrintable(QString::number(reads[i].ms - reads[i - 1].ms)));
        } else if (w.startsWith("grid=")) { // the last three polls on the grid of the first, whatever came late
            QList<qint64> polls;
            for (const auto &c : sims.front()->commands())
                if (c.line == "key 3")
                    polls << c.ms;
            QVERIFY(polls.size() > 3);
            for (int k = int(polls.size()) - 3, grid = w.mid(5).toInt(); k < polls.size(); ++k)
                QVERIFY2(qAbs((polls[k] - polls[0] + grid / 2) % grid - grid / 2) < 100, qPrintable(QString::number(polls[k] - polls[0])));
        } else if (w == "logend") // the program left only once the dump had ended
            QVERIFY(sims.front()->logDumpEnd() >= 0);
        else if (w.startsWith("within="))
            QVERIFY2(ranMs < w.mid(7).toInt(), qPrintable(QString::number(ranMs)));
        else if (w.startsWith('!'))
            QVERIFY2(said.contains(w.mid(1).toUtf8()), qPrintable(w + " not in: " + said));
        else if (w == "cancel") {
            QTRY_VERIFY_WITH_TIMEOUT(!sims.front()->inTransfer(), 1000);
            QVERIFY(sims.front()->received().endsWith(QByteArray(5, 0x18)));
        }
        else
            QCOMPARE(wire.contains("KEY 1\r\nLOADDAC\r\n"), w == "load");
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
