#include "invocation.h"

#include "exitcodes.h"
#include "output.h"
#include "ports.h"

#include <QCommandLineParser>
#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <utility>

namespace {

const char usage[] =
    "Commands:\n"
    "  ports                    the serial ports the system lists\n"
    "  status                   the module's state, versions and waveform\n"
    "  watch                    the state and temperature every --interval seconds\n"
    "  output on|off            switch the module's output\n"
    "  dac VALUE                set the DAC value (9 to 31.5)\n"
    "  upload firmware|data FILE  upload with XMODEM-1K; password from DUDAZE_PASSWORD\n"
    "  log FILE|-               save the module's log\n"
    "\n"
    "Exit codes: 0 done, 1 the module or the line did not do it, 2 bad invocation\n"
    "or input, 3 the port, 4 wrong or missing password, 5 an upload's record line\n"
    "not saved, 130 interrupted.\n";

// The words each command takes after its name.
bool argumentsFit(const Invocation &inv, QString *why)
{
    const struct {
        const char *command;
        int words;
        const char *first; // the first word's choices, '|' between; null: any
        const char *needs;
    } commands[] = {
        {"ports", 0, nullptr, "ports takes no argument"},
        {"status", 0, nullptr, "status takes no argument"},
        {"watch", 0, nullptr, "watch takes no argument"},
        {"output", 1, "on|off", "output needs on or off"},
        {"dac", 1, nullptr, "dac needs one value from 9 to 31.5"},
        {"upload", 2, "firmware|data", "upload needs firmware or data and a FILE"},
        {"log", 1, nullptr, "log needs a FILE, or - for standard output"},
    };
    for (const auto &c : commands) {
        if (inv.command != QLatin1String(c.command))
            continue;
        const QStringList &a = inv.arguments;
        if (a.size() == c.words && (!c.first || QString::fromLatin1(c.first).split('|').contains(a[0])))
            return true;
        *why = QString::fromLatin1(c.needs) + (a.isEmpty() ? QString() : ", not '" + a.join(' ') + "'");
        return false;
    }
    *why = inv.command.isEmpty() ? QStringLiteral("no command given (try --help)")
                                 : "unknown command '" + inv.command + "' (try --help)";
    return false;
}

} // namespace

int parseInvocation(const QStringList &argv, Invocation *inv)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The pulse-stretcher module from the command line.\n\n") + usage);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("ports, status, watch, output, dac, upload or log"),
                                 QStringLiteral("COMMAND [arguments]"));
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption port({"p", "port"}, "Device path, usb:VID:PID[:SERIAL], or a server on the network: socket://HOST:PORT (raw),"
                                         " rfc2217://HOST:PORT (line settings asked of the server; 5 s to connect);"
                                         " may be given several times (default: $DUDAZE_PORT).", "PORT");
    const QCommandLineOption baud({"b", "baud"}, "Line speed (default 115200).", "N", "115200");
    const QCommandLineOption dataBits("data-bits", "5, 6, 7 or 8 (default 8).", "N", "8");
    const QCommandLineOption stopBits("stop-bits", "1, 1.5 or 2 (default 1).", "N", "1");
    const QCommandLineOption parity("parity", "none, even, odd, mark or space (default none).", "P", "none");
    const QCommandLineOption json("json", "One JSON object per line on standard output.");
    const QCommandLineOption quiet("q", "Only errors on standard error.");
    const QCommandLineOption verbose("v", "Each command written and each reply read, with times.");
    const QCommandLineOption interval("interval", "watch: seconds between polls, 1 to 86400 (default 2).", "S", "2");
    const QCommandLineOption count("count", "watch: stop after N polls.", "N");
    const QCommandLineOption noVerify("no-verify", "output, dac: do not read the new state back.");
    const QCommandLineOption force("force", "log: replace an existing FILE.");
    const QCommandLineOption record("record", "upload: append the record line to FILE.", "FILE");
    const QCommandLineOption noRecord("no-record", "upload: write no record line.");
    parser.addOptions({help, version, port, baud, dataBits, stopBits, parity, json, quiet, verbose, interval, count,
                       noVerify, force, record, noRecord});
    // A refusal is a JSON error event too when --json is given, even where
    // the words around it could not be parsed.
    const bool parsed = parser.parse(argv);
    inv->json = parsed ? parser.isSet(json) : argv.contains(QStringLiteral("--json"));
    auto refuse = [inv](const QString &why) { return refuseRun(inv->json, Exit::BadInput, why); };
    if (!parsed)
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Exit::Done;
    }
    if (parser.isSet(version)) {
        std::printf("dudaze-cli %s\n", DUDAZE_VERSION);
        return Exit::Done;
    }

    QStringList words = parser.positionalArguments();
    inv->command = words.isEmpty() ? QString() : words.takeFirst();
    inv->arguments = words;
    QString why;
    if (!argumentsFit(*inv, &why))
        return refuse(why);

    bool ok = false;
    inv->line.baud = parser.value(baud).toInt(&ok);
    if (!ok || inv->line.baud <= 0)
        return refuse("--baud needs a positive whole number, not '" + parser.value(baud) + "'");
    const int bits = parser.value(dataBits).toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return refuse("--data-bits needs 5, 6, 7 or 8, not '" + parser.value(dataBits) + "'");
    inv->line.dataBits = QSerialPort::DataBits(bits);
    const QString stop = parser.value(stopBits);
    if (stop != "1" && stop != "1.5" && stop != "2")
        return refuse("--stop-bits needs 1, 1.5 or 2, not '" + stop + "'");
    inv->line.stopBits = stop == "1" ? QSerialPort::OneStop : stop == "2" ? QSerialPort::TwoStop : QSerialPort::OneAndHalfStop;
    const QStringList parities{"none", "even", "odd", "space", "mark"};
    const QSerialPort::Parity parityValues[] = {QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity,
                                                QSerialPort::SpaceParity, QSerialPort::MarkParity};
    const int p = parities.indexOf(parser.value(parity));
    if (p < 0)
        return refuse("--parity needs none, even, odd, mark or space, not '" + parser.value(parity) + "'");
    inv->line.parity = parityValues[p];

    const double seconds = parser.value(interval).toDouble(&ok);
    if (!ok || !(seconds >= 1 && seconds <= 86400)) // not a number fails both
        return refuse("--interval needs seconds from 1 to 86400, not '" + parser.value(interval) + "'");
    inv->intervalMs = int(seconds * 1000);
    if (parser.isSet(count)) {
        inv->count = parser.value(count).toInt(&ok);
        if (!ok || inv->count < 1)
            return refuse("--count needs a whole number of polls, at least 1, not '" + parser.value(count) + "'");
    }
    inv->quiet = parser.isSet(quiet);
    inv->verbose = parser.isSet(verbose);
    inv->verify = !parser.isSet(noVerify);
    inv->force = parser.isSet(force);
    if (parser.isSet(record) && parser.isSet(noRecord))
        return refuse(QStringLiteral("--record and --no-record exclude each other"));
    if (parser.isSet(record)) {
        inv->record = parser.value(record);
    } else if (!parser.isSet(noRecord)) {
        // $XDG_DATA_HOME/dudaze, by default ~/.local/share/dudaze; a relative
        // XDG_DATA_HOME counts as not set.
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        const QString home = qEnvironmentVariable("HOME");
        if (QDir::isRelativePath(base))
            base = QDir::isAbsolutePath(home) ? QDir::cleanPath(home) + "/.local/share" : QString();
        if (base.isEmpty() && inv->command == "upload")
            return refuse(QStringLiteral("no place for the upload record: HOME is not set (nor XDG_DATA_HOME to a full path);"
                                         " give --record FILE or --no-record"));
        inv->record = base + "/dudaze/uploads.jsonl";
    }
    if (inv->command == "log" && inv->arguments[0] == "-" && inv->json)
        return refuse(QStringLiteral("log - writes the log to standard output, which --json keeps for JSON"));

    if (inv->command != "ports") {
        inv->ports = parser.values(port);
        if (inv->ports.isEmpty() && !qEnvironmentVariable("DUDAZE_PORT").isEmpty())
            inv->ports << qEnvironmentVariable("DUDAZE_PORT");
        if (inv->ports.isEmpty())
            return refuse(QStringLiteral("no port: give --port PORT or set DUDAZE_PORT"));
        QStringList devices;
        for (const QString &given : std::as_const(inv->ports)) {
            if (!portWellFormed(given, &why))
                return refuse(why);
            const QString device = deviceOf(given);
            if (devices.contains(device))
                return refuse(given + " is a port given before (" + device + "): a port given twice would be written to by two commands at once");
            devices << device;
        }
        if (inv->command == "log" && inv->ports.size() > 1)
            return refuse(QStringLiteral("log saves one module's log: give one --port"));
    }
    return -1;
}
