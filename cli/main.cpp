#include "exitcodes.h"
#include "hostlookup.h"
#include "invocation.h"
#include "logjob.h"
#include "output.h"
#include "platform.h"
#include "line/filekind.h"
#include "ports.h"
#include "record.h"
#include "session.h"
#include "statusjobs.h"
#include "uploadjob.h"
#include "protocol/access.h"
#include "protocol/controlvalues.h"
#include "protocol/uploadrules.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace {

// Everything a command needs before a port opens: whatever is wrong with the
// input is refused here, so that no byte of it reaches a module.
struct Prepared {
    UploadFile upload;
    QFile log;
    QString logName;          // "-": standard output
    bool logCreated = false;  // a new log file, removed again if nothing is saved into it
};

int prepareUpload(const Invocation &inv, const Record &record, UploadFile *up)
{
    auto refuse = [&inv](int code, const QString &why) { return refuseRun(inv.json, code, why); };
    const QString &name = inv.arguments[1];
    const QString shown = shownName(name);
    up->kind = inv.arguments[0];
    up->target = up->kind == QLatin1String("firmware") ? &Upload::firmware : &Upload::data;
    up->path = shownName(QFileInfo(name).absoluteFilePath());
    const QString kind = fileKindOf(systemName(name));
    if (!kind.isEmpty())
        return refuse(Exit::BadInput, shown + " is " + kind + ", not a file to upload");
    QFile file;
    QString why;
    if (!openNamed(file, name, QIODevice::ReadOnly, false, &why))
        return refuse(Exit::BadInput, shown + ": " + why);
    if (file.size() > Upload::maxFileSize)
        return refuse(Exit::BadInput, shown + ": too large for an upload");
    up->data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refuse(Exit::BadInput, shown + ": cannot be read: " + file.errorString());
    if (up->data.isEmpty())
        return refuse(Exit::BadInput, shown + ": the file is empty; nothing to upload");
    up->sha256 = QString::fromLatin1(QCryptographicHash::hash(up->data, QCryptographicHash::Sha256).toHex());
    if (!record.writable(&why))
        return refuse(Exit::BadInput, why + " (--record FILE or --no-record)");
    // Never from the command line, where other users and the shell's history
    // see it; asked on the terminal itself, so that it is seen and typed there
    // whatever standard input and error are.
    QString password = qEnvironmentVariable("DUDAZE_PASSWORD");
    if (!qEnvironmentVariableIsSet("DUDAZE_PASSWORD") && !readHidden(QStringLiteral("Access password: "), &password))
        return refuse(Exit::Password, QStringLiteral("no access password: set DUDAZE_PASSWORD, or run on a terminal to be asked"));
    if (password != QLatin1String(Access::password))
        return refuse(Exit::Password, QStringLiteral("wrong access password; nothing uploaded"));
    return -1;
}

int prepareLog(const Invocation &inv, Prepared *p)
{
    p->logName = inv.arguments[0];
    if (p->logName == QLatin1String("-"))
        return -1;
    // Made here, refused if there unless --force; emptied only when the dump
    // is asked for: a port that fails first leaves it as it was.
    QString why;
    bool there = false;
    if (openNamed(p->log, p->logName, QIODevice::WriteOnly | QIODevice::Unbuffered, true, &why, &there)) {
        p->logCreated = true;
        return -1;
    }
    if (there && !inv.force)
        return refuseRun(inv.json, Exit::BadInput, shownName(p->logName) + ": exists already (--force replaces it)");
    if (there && openNamed(p->log, p->logName, QIODevice::WriteOnly | QIODevice::Unbuffered, false, &why))
        return -1;
    return refuseRun(inv.json, Exit::BadInput, shownName(p->logName) + ": cannot be written: " + why);
}

int prepare(const Invocation &inv, const Record &record, Prepared *p)
{
    if (inv.command == QLatin1String("dac") && !dacValueAccepted(inv.arguments[0]))
        return refuseRun(inv.json, Exit::BadInput, "dac: '" + inv.arguments[0] + "' is not a value from 9 to 31.5; nothing sent");
    if (inv.command == QLatin1String("upload"))
        return prepareUpload(inv, record, &p->upload);
    if (inv.command == QLatin1String("log"))
        return prepareLog(inv, p);
    return -1;
}

std::unique_ptr<Job> makeJob(Session &s, const Invocation &inv, Prepared &p, const Record &record)
{
    if (inv.command == QLatin1String("status"))
        return std::make_unique<StatusJob>(s);
    if (inv.command == QLatin1String("watch"))
        return std::make_unique<WatchJob>(s);
    if (inv.command == QLatin1String("upload"))
        return std::make_unique<UploadJob>(s, p.upload, record);
    if (inv.command == QLatin1String("log"))
        return std::make_unique<LogJob>(s, p.log, p.logName);
    return std::make_unique<ControlJob>(s);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything else is opened: a closed descriptor 1 or 2 would go to
    // the next file or pipe opened, and our messages into it.
    openClosedStandardDescriptors();
    QCoreApplication app(argc, argv);
    keepGoingOnFailedWrites();
    QCoreApplication::setApplicationName(QStringLiteral("dudaze-cli"));
    Invocation inv;
    const int parsed = parseInvocation(systemArguments(argc, argv), &inv);
    if (parsed >= 0)
        return parsed;
    Output out(inv.json, inv.quiet, inv.verbose);
    if (inv.command == QLatin1String("ports")) {
        listPorts(out);
        return Exit::Done;
    }
    const Record record(inv.command == QLatin1String("upload") ? inv.record : QString());
    Prepared prepared;
    const int ready = prepare(inv, record, &prepared);
    if (ready >= 0)
        return ready;

    std::vector<std::unique_ptr<Session>> sessions;
    HostLookup lookup;
    // One session per port, all in this one event loop; the run ends with
    // the last of them and the highest exit code.
    int running = int(inv.ports.size());
    watchInterrupts(&app, [&] {
        lookup.interrupt();
        // An interrupt while the output drains gives up on its reader.
        if (running == 0)
            return QCoreApplication::exit(Exit::Interrupted);
        for (auto &s : sessions)
            s->interrupt();
    });
    // Every server's name is looked up before any port opens.
    QString why;
    if (const int looked = lookup.run(inv.ports, &why); looked >= 0)
        return refuseRun(inv.json, looked, why);

    int code = Exit::Done;
    for (const QString &port : inv.ports) {
        sessions.push_back(std::make_unique<Session>(port, inv, out));
        Session *s = sessions.back().get();
        QObject::connect(s, &Session::finished, &app, [&, s] {
            code = qMax(code, s->code());
            if (--running > 0)
                return;
            // Results nowhere else kept and lost to a closed standard output
            // fail the run; an upload's stand in its record.
            const QString lost = out.lostResults();
            if (!lost.isEmpty() && !(inv.command == QLatin1String("upload") && record.enabled())) {
                code = qMax(code, int(Exit::NotDone));
                out.error(QString(), code, lost);
            }
            // Whatever a slow reader has not taken yet is still written.
            out.whenDrained([&code] { QCoreApplication::exit(code); });
        });
    }
    // Started from the loop, so that a session that ends at once still ends the run.
    for (auto &s : sessions)
        QMetaObject::invokeMethod(s.get(), [&, s = s.get()] { s->start(makeJob(*s, inv, prepared, record)); }, Qt::QueuedConnection);
    code = app.exec();
    if (prepared.logCreated && prepared.log.size() == 0)
        removeNamed(prepared.logName);
    return code;
}
