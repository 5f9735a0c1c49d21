#include "controlserver.h"
#include "modulesim.h"
#include "simcontrol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
int quitPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 'q';
    (void)!::write(quitPipe[1], &c, 1);
}

// The module's values as reported, by option.
struct Value {
    const char *name, *help;
    QByteArray ModuleSim::*member;
};
const Value values[] = {
    {"temp", "Temperature reported for MT.", &ModuleSim::temperature},
    {"fw", "Firmware version reported for VER FULL.", &ModuleSim::firmwareVersion},
    {"pl", "FPGA version reported for VER FULL.", &ModuleSim::fpgaVersion},
    {"sn", "Waveform name reported for VER FULL.", &ModuleSim::waveformName},
    {"alarm", "Alarm text reported for ast.", &ModuleSim::alarm},
    {"dac", "DAC value reported for dac.", &ModuleSim::dac},
};

// Settings and faults that the control channel changes too: the option is
// handed over as its control command, so that both check a value alike.
// A switch (no value name) sends its line as it stands.
struct Setting {
    const char *name, *help, *valueName, *line;
};
const Setting settings[] = {
    {"baud", "Pace both directions to N/10 bytes per second.", "N", "baud"},
    {"log-piece", "Send the log in pieces of BYTES (default 0: whole).", "BYTES", "log-piece"},
    {"log-gap", "Wait MS between log pieces (default 50).", "MS", "log-gap"},
    {"log-lines", "Send the log line by line, MS between lines and before the prompt (default -1: off).", "MS", "log-lines"},
    {"request-interval", "Ask for blocks with 'C' every MS (default 3000).", "MS", "request-interval"},
    {"request-count", "Give up receiving after N 'C' in all (default 11).", "N", "request-count"},
    {"prompt-pos", "Index of '>' in the bytes after the final EOT.", "N", "prompt-pos"},
    {"prompt-delay", "Send the prompt MS after the final ACK (default 0).", "MS", "prompt-delay"},
    {"nak", "NAK the first N blocks.", "N", "nak"},
    {"cancel-at", "Cancel with CAN CAN at block K.", "K", "cancel-at"},
    {"stray", "Send the byte HEX to the tool once block K has arrived, before its answer; the receive goes on.", "HEX K", "stray"},
    {"silent", "Answer nothing.", nullptr, "silent on"},
    {"ignore-cancel", "End a receive on CAN CAN without answering it.", nullptr, "ignore-cancel on"},
    {"log-no-prompt", "End dump logtext without the prompt '>'.", nullptr, "log-prompt off"},
    {"reply-delay", "Send every answer to a command line MS later (default 0).", "MS", "reply-delay"},
};

QCommandLineOption option(const char *name, const char *help, const char *valueName = nullptr)
{
    return valueName ? QCommandLineOption(name, help, valueName) : QCommandLineOption(name, help);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("module-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Emulated pulse-stretcher module on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption link("link", "Make PATH a symlink to the module's device.", "PATH");
    const QCommandLineOption logText("log-text", "Log text for dump logtext (\\n and \\r are unescaped).", "TEXT");
    const QCommandLineOption logFile("log-file", "Read the log text for dump logtext from FILE.", "FILE");
    const QCommandLineOption answer("answer", "Answer every command with TEXT (\\n and \\r are unescaped).", "TEXT");
    const QCommandLineOption control("control", "Take control commands on a Unix domain socket at PATH, one a line: changes (nak N, cancel-at K, silent on|off, stray HEX K, reply-delay MS, log-lines MS, miss-cancel N, hangup, reopen, ...) and questions (last-upload, in-transfer, transcript, stored fw|data, intrusions).", "PATH");
    const QCommandLineOption verbose("verbose", "Print every command line received.");
    const QCommandLineOption on("on", "Start with the output switched on.");
    parser.addOptions({link, logText, logFile, answer, control, verbose, on});
    for (const Value &v : values)
        parser.addOption(option(v.name, v.help, "TEXT"));
    for (const Setting &s : settings)
        parser.addOption(option(s.name, s.help, s.valueName));
    parser.process(app);

    auto unescape = [](QString s) {
        return s.replace(QLatin1String("\\r"), QLatin1String("\r")).replace(QLatin1String("\\n"), QLatin1String("\n")).toUtf8();
    };

    ModuleSim sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "module-sim: cannot open a pseudo-terminal: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    for (const Value &v : values)
        if (parser.isSet(v.name))
            sim.*v.member = parser.value(v.name).toUtf8();
    sim.outputOn = parser.isSet(on);
    SimControl setter(sim);
    for (const Setting &s : settings) {
        if (!parser.isSet(s.name))
            continue;
        // A mistyped value ends the program rather than run silently as 0.
        const QByteArray line = s.valueName ? QByteArray(s.line) + ' ' + parser.value(s.name).toUtf8() : QByteArray(s.line);
        const QByteArray answered = setter.execute(line);
        if (answered.startsWith("error")) {
            std::fprintf(stderr, "module-sim: --%s: %s\n", s.name, answered.constData() + 6);
            return 1;
        }
    }
    if (parser.isSet(logText))
        sim.logText = unescape(parser.value(logText));
    if (parser.isSet(logFile)) {
        QFile file(parser.value(logFile));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "module-sim: cannot read %s\n", qPrintable(file.fileName()));
            return 1;
        }
        sim.logText = file.readAll();
    }
    if (parser.isSet(answer)) sim.setRawAnswer(unescape(parser.value(answer)));
    if (parser.isSet(verbose)) {
        QObject::connect(&sim, &ModuleSim::commandReceived, [](const QByteArray &line) {
            std::printf("module-sim: < %s\n", line.constData());
            std::fflush(stdout);
        });
    }

    // The control socket is up before the link appears, so that a driver
    // waiting for the link can connect at once.
    ControlServer controlServer(sim);
    const QString controlPath = parser.value(control);
    if (!controlPath.isEmpty() && !controlServer.listen(controlPath)) {
        std::fprintf(stderr, "module-sim: cannot listen at %s: %s\n", qPrintable(controlPath),
                     qPrintable(controlServer.errorString()));
        return 1;
    }
    const QString linkPath = parser.value(link);
    if (!sim.setLink(linkPath)) {
        std::fprintf(stderr, "module-sim: cannot create the link %s: %s\n", qPrintable(linkPath),
                     qPrintable(sim.errorString()));
        return 1;
    }

    if (::pipe(quitPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto *quitter = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(quitter, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    std::printf("module-sim: device %s\n", qPrintable(sim.devicePath()));
    if (!linkPath.isEmpty())
        std::printf("module-sim: link %s\n", qPrintable(linkPath));
    if (!controlPath.isEmpty())
        std::printf("module-sim: control %s\n", qPrintable(controlPath));
    std::fflush(stdout);

    // The link and the control socket go with sim and controlServer.
    return app.exec();
}
