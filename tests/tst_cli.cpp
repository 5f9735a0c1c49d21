#include "modulesim.h"
#include "simcontrol.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>

// dudaze-cli run as a script runs it, against module-sim or python3-xmodem.
class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void run_data();
    void run();
};

namespace {

const struct Row {
    const char *name;
    const char *args;    // leading NAME=VALUE words go to the environment; {file}, {dir}
    int size;            // bytes of {file}; -1: none
    const char *faults;  // the module's, as control commands (';' between); "python": python3-xmodem instead
    const char *during;  // once the module holds back its answer to block 2: "hangup", "sigint", "" (silence)
    const char *second;  // faults of a second module run at the same time; null: one port
    int exitCode;
    const char *events;  // per port ('|'): event;key=value;…  (an upload event also means a record line)
    const char *wire;    // ';': nothing, stored, load, noload, cancel, log (saved as sent), kept ({file}), +COMMAND
} rows[] = {
    {"status", "status", -1, "", nullptr, nullptr, 0,
     "status;output=OFF;dac=12.5;temperature=36.5;firmware=FW 2.1.0;waveform=WAVE-A1", "+VER FULL"},
    {"status of a silent module", "status", -1, "silent on", nullptr, nullptr, 1, "error;code=1", "+DACINFO"},
    {"watch twice", "watch --count 2 --interval 1", -1, "", nullptr, nullptr, 0, "status;temperature=36.5", "+MT"},
    {"dac set and read back", "dac 20.5", -1, "", nullptr, nullptr, 0, "status;dac=20.5", "+DAC 20.5;+boot"},
    {"dac out of range", "dac 31.6", -1, "", nullptr, nullptr, 2, "", "nothing"},
    {"output on, not taken", "output on", -1, "reply-delay 5000", nullptr, nullptr, 1, "status;output=", "+MOD ON"},
    {"log", "log {dir}/log.txt", -1, "log-piece 10;log-gap 20", nullptr, nullptr, 0, "log;complete=true", "+dump logtext;log"},
    {"log into an existing file", "log {file}", 10, "", nullptr, nullptr, 2, "", "nothing;kept"},
    {"a port that is not there beside one that is", "status -p {dir}/none", -1, "", nullptr, nullptr, 3,
     "error;code=3|status;output=OFF", "+MOD"},
    {"firmware", "upload firmware {file}", 3000, "", nullptr, nullptr, 0,
     "upload;result=done;blocks=3;naks=0;size=3000", "stored;noload"},
    {"data, 257 blocks", "upload data {file}", 257 * 1024 - 5, "", nullptr, nullptr, 0, "upload;result=done;blocks=257", "stored;load"},
    {"firmware to python3-xmodem", "upload firmware {file}", 300 * 1024 - 7, "python", nullptr, nullptr, 0, "upload;result=done", "stored;noload"},
    {"data to python3-xmodem", "upload data {file}", 5000, "python", nullptr, nullptr, 0, "upload;result=done", "stored;load"},
    {"NAKs resend", "upload data {file}", 3000, "nak 2", nullptr, nullptr, 0, "upload;result=done;naks=2", "stored;load"},
    {"ten NAKs in a row", "upload firmware {file}", 3000, "nak 10", nullptr, nullptr, 1, "upload;result=failed;naks=10", "cancel"},
    {"module cancels", "upload data {file}", 3000, "cancel-at 2", nullptr, nullptr, 1, "upload;result=module-cancelled;blocks=1", "noload"},
    {"data prompt at 32", "upload data {file}", 1000, "prompt-pos 32", nullptr, nullptr, 1, "upload;result=failed", "noload"},
    {"data prompt at 34", "upload data {file}", 1000, "prompt-pos 34", nullptr, nullptr, 1, "upload;result=failed", "noload"},
    {"silent mid-upload", "upload firmware {file}", 5000, "", "", nullptr, 1, "upload;result=timeout;blocks=1", "cancel"},
    {"hang-up mid-upload", "upload firmware {file}", 5000, "", "hangup", nullptr, 3, "upload;result=lost", ""},
    {"SIGINT mid-upload", "upload data {file}", 5000, "", "sigint", nullptr, 130, "upload;result=cancelled", "cancel;noload"},
    {"wrong password", "DUDAZE_PASSWORD=qumbelta upload firmware {file}", 3000, "", nullptr, nullptr, 4, "", "nothing"},
    {"empty file", "upload firmware {file}", 0, "", nullptr, nullptr, 2, "", "nothing"},
    {"record not writable", "upload firmware {file} --record {file}/x", 3000, "", nullptr, nullptr, 2, "", "nothing"},
    {"two ports, one cancels", "upload firmware {file}", 3000, "", nullptr, "cancel-at 1", 1,
     "upload;result=done|upload;result=module-cancelled", "stored"},
};

QByteArray fileOf(int size)
{
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data += char((i * 7 + i / 1024) & 0xFF);
    return data;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(not readable)");
}

} // namespace

void TestCli::run_data()
{
    QTest::addColumn<int>("row");
    int index = 0;
    for (const Row &r : rows)
        QTest::newRow(r.name) << index++;
}

void TestCli::run()
{
    QFETCH(int, row);
    QTemporaryDir dir;
    const Row &r = rows[row];
    const QByteArray data = fileOf(qMax(0, r.size));
    QFile file(dir.filePath("file.bin"));
    QVERIFY(r.size < 0 || (file.open(QIODevice::WriteOnly) && file.write(data) == data.size()));
    file.close();
    const QByteArray padded = data + QByteArray((1024 - data.size() % 1024) % 1024, 0x1A);

    // The modules: simulators with their faults, or python3-xmodem on a pty of its own.
    std::vector<std::unique_ptr<ModuleSim>> sims;
    QStringList ports;
    QProcess python;
    const bool independent = QByteArray(r.faults) == "python";
    if (independent) {
        python.start("/usr/bin/python3", {QStringLiteral(TESTS_DIR "/cli_receiver.py"), dir.filePath("got")});
        QVERIFY(python.waitForReadyRead(5000));
        ports << QString::fromUtf8(python.readLine().trimmed());
    }
    for (const char *faults : {independent ? nullptr : r.faults, r.second}) {
        if (!faults)
            continue;
        sims.push_back(std::make_unique<ModuleSim>());
        SimControl control(*sims.back());
        for (const QByteArray &fault : QByteArray(faults).split(';'))
            QVERIFY2(fault.isEmpty() || control.execute(fault) == "ok", fault.constData());
        if (r.during)
            sims.back()->scriptAnswer(2, QByteArray());
        ports << sims.back()->devicePath();
    }

    QStringList args = QString::fromUtf8(r.args).replace("{file}", file.fileName()).replace("{dir}", dir.path()).split(' ');
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
    args << "--json";
    for (const QString &port : ports)
        args << "-p" << port;
    ports = named + ports;
    // The modules' lines must not stay open in the program through inherited descriptors.
    for (int fd = 3; fd < 1024; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(CLI_PATH), args);
    QVERIFY(cli.waitForStarted());
    if (r.during) {
        QTRY_VERIFY_WITH_TIMEOUT(sims.front()->blocksAccepted() >= 2, 10000);
        if (QByteArray(r.during) == "hangup")
            sims.front()->hangUp();
        else if (QByteArray(r.during) == "sigint")
            ::kill(pid_t(cli.processId()), SIGINT);
    }
    QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, 20000);
    const QByteArray errors = cli.readAllStandardError();
    QVERIFY2(cli.exitCode() == r.exitCode, qPrintable(QString::number(cli.exitCode()) + ": " + errors));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);

    // Standard output is JSON lines only, each with its event and port.
    QList<QJsonObject> events;
    for (const QByteArray &line : cli.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        QVERIFY2(event.contains("event") && event.contains("port"), line.constData());
        events << event;
    }
    QFile recordFile(dir.filePath("xdg/dudaze/uploads.jsonl"));
    QList<QByteArray> record = recordFile.open(QIODevice::ReadOnly) ? recordFile.readAll().split('\n') : QList<QByteArray>();
    record.removeAll(QByteArray());
    const QStringList expected = QString::fromUtf8(r.events).split('|', Qt::SkipEmptyParts);
    int uploads = 0;
    for (int p = 0; p < expected.size(); ++p) {
        QStringList checks = expected[p].split(';');
        const QString name = checks.takeFirst();
        QJsonObject event;
        for (const QJsonObject &e : events)
            if (e.value("event").toString() == name && e.value("port").toString() == ports[p])
                event = e;
        QVERIFY2(!event.isEmpty(), qPrintable(name + " for " + ports[p]));
        for (const QString &check : checks)
            QCOMPARE(event.value(check.section('=', 0, 0)).toVariant().toString(), check.section('=', 1));
        if (name != "upload")
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
        stored = contents(dir.filePath("got"));
        wire = "RECV\r\n" + contents(dir.filePath("got.after")); // what followed the upload
    } else {
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
            QCOMPARE(contents(file.fileName()), data);
        else if (w == "log")
            QCOMPARE(contents(dir.filePath("log.txt")), sims.front()->logSent());
        else if (w == "cancel")
            QVERIFY(wire.endsWith(QByteArray(5, 0x18)));
        else
            QCOMPARE(wire.contains("KEY 1\r\nLOADDAC\r\n"), w == "load");
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
