#include "controlserver.h"
#include "modulesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <climits>
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

// The whole number given for a numeric option, checked against its range; a
// bad one is reported and ends the program, so that no mistyped setting runs
// silently as 0.
int number(const QCommandLineParser &parser, const QCommandLineOption &option, int least, int most = INT_MAX)
{
    bool ok = false;
    const QString text = parser.value(option);
    const int value = text.toInt(&ok);
    if (!ok || value < least || value > most) {
        std::fprintf(stderr, "module-sim: --%s needs a whole number from %d to %d, not '%s'\n",
                     qPrintable(option.names().constFirst()), least, most, qPrintable(text));
        std::exit(1);
    }
    return value;
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
    const QCommandLineOption baud("baud", "Pace both directions to N/10 bytes per second.", "N", "0");
    const QCommandLineOption temp("temp", "Temperature reported for MT.", "TEXT");
    const QCommandLineOption fw("fw", "Firmware version reported for VER FULL.", "TEXT");
    const QCommandLineOption pl("pl", "FPGA version reported for VER FULL.", "TEXT");
    const QCommandLineOption sn("sn", "Waveform name reported for VER FULL.", "TEXT");
    const QCommandLineOption alarm("alarm", "Alarm text reported for ast.", "TEXT");
    const QCommandLineOption dac("dac", "DAC value reported for dac.", "TEXT");
    const QCommandLineOption on("on", "Start with the output switched on.");
    const QCommandLineOption logText("log-text", "Log text for dump logtext (\\n and \\r are unescaped).", "TEXT");
    const QCommandLineOption logFile("log-file", "Read the log text for dump logtext from FILE.", "FILE");
    const QCommandLineOption logPiece("log-piece", "Send the log in pieces of BYTES (default 0: whole).", "BYTES", "0");
    const QCommandLineOption logGap("log-gap", "Wait MS between log pieces (default 50).", "MS", "50");
    const QCommandLineOption requestInterval("request-interval", "Ask for blocks with 'C' every MS (default 3000).", "MS", "3000");
    const QCommandLineOption requestCount("request-count", "Give up receiving after N 'C' in all (default 11).", "N", "11");
    const QCommandLineOption promptPos("prompt-pos", "Index of '>' in the bytes after the final EOT.", "N");
    const QCommandLineOption promptDelay("prompt-delay", "Send the prompt MS after the final ACK (default 0).", "MS", "0");
    const QCommandLineOption nak("nak", "NAK the first N blocks.", "N");
    const QCommandLineOption cancelAt("cancel-at", "Cancel with CAN CAN at block K.", "K");
    const QCommandLineOption silent("silent", "Answer nothing.");
    const QCommandLineOption answer("answer", "Answer every command with TEXT (\\n and \\r are unescaped).", "TEXT");
    const QCommandLineOption ignoreCancel("ignore-cancel", "End a receive on CAN CAN without answering it.");
    const QCommandLineOption logNoPrompt("log-no-prompt", "End dump logtext without the prompt '>'.");
    const QCommandLineOption replyDelay("reply-delay", "Send every answer to a command line MS later (default 0).", "MS", "0");
    const QCommandLineOption control("control", "Take control commands on a Unix domain socket at PATH.", "PATH");
    const QCommandLineOption verbose("verbose", "Print every command line received.");
    parser.addOptions({link, baud, temp, fw, pl, sn, alarm, dac, on, logText, logFile, logPiece, logGap,
                       requestInterval, requestCount, promptPos, promptDelay, nak, cancelAt, silent, answer,
                       ignoreCancel, logNoPrompt, replyDelay, control, verbose});
    parser.process(app);

    auto unescape = [](QString s) {
        return s.replace(QLatin1String("\\r"), QLatin1String("\r")).replace(QLatin1String("\\n"), QLatin1String("\n")).toUtf8();
    };

    ModuleSim sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "module-sim: cannot open a pseudo-terminal: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    sim.setBaud(number(parser, baud, 0, 10000000));
    if (parser.isSet(temp)) sim.temperature = parser.value(temp).toUtf8();
    if (parser.isSet(fw)) sim.firmwareVersion = parser.value(fw).toUtf8();
    if (parser.isSet(pl)) sim.fpgaVersion = parser.value(pl).toUtf8();
    if (parser.isSet(sn)) sim.waveformName = parser.value(sn).toUtf8();
    if (parser.isSet(alarm)) sim.alarm = parser.value(alarm).toUtf8();
    if (parser.isSet(dac)) sim.dac = parser.value(dac).toUtf8();
    sim.outputOn = parser.isSet(on);
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
    sim.logPieceBytes = number(parser, logPiece, 0);
    sim.logGapMs = number(parser, logGap, 0);
    sim.setRequestInterval(number(parser, requestInterval, 1));
    sim.setRequestCount(number(parser, requestCount, 1));
    if (parser.isSet(promptPos)) sim.setPromptPos(number(parser, promptPos, -1, 65536));
    sim.setPromptDelay(number(parser, promptDelay, 0));
    if (parser.isSet(nak)) sim.nakNextBlocks(number(parser, nak, 0));
    if (parser.isSet(cancelAt)) sim.cancelAtBlock(number(parser, cancelAt, 0));
    sim.setSilent(parser.isSet(silent));
    if (parser.isSet(answer)) sim.setRawAnswer(unescape(parser.value(answer)));
    sim.setIgnoreCancel(parser.isSet(ignoreCancel));
    sim.setLogPrompt(!parser.isSet(logNoPrompt));
    sim.setReplyDelay(number(parser, replyDelay, 0));
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
