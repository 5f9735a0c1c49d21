#include "exitcodes.h"
#include "hostlookup.h"
#include "invocation.h"
#include "logjob.h"
#include "output.h"
#include "platform.h"
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

#include <cstdio>
#include <vector>

namespace {

int refuse(int code, const QString &why)
{
    std::fprintf(stderr, "dudaze-cli: %s\n", qPrintable(why));
    return code;
}

// Everything a command needs before a port opens: whatever is wrong with the
// input is refused here, so that no byte of it reaches a module.
struct Prepared {
    UploadFile upload;
    QFile log;
    bool logCreated = false; // a new log file, removed again if nothing is saved into it
};

int prepareUpload(const Invocation &inv, const Record &record, UploadFile *up)
{
    up->kind = inv.arguments[0];
    up->target = up->kind == QLatin1String("firmware") ? &Upload::firmware : &Upload::data;
    QFile file(inv.arguments[1]);
    up->path = QFileInfo(file).absoluteFilePath();
    const QString kind = fileKind(file.fileName());
    if (!kind.isEmpty())
        return refuse(Exit::BadInput, inv.arguments[1] + " is " + kind + ", not a file to upload");
    if (!QFileInfo(file).isFile())
        return refuse(Exit::BadInput, inv.arguments[1] + ": no such file");
    if (file.size() > Upload::maxFileSize)
        return refuse(Exit::BadInput, inv.arguments[1] + ": too large for an upload");
    if (!file.open(QIODevice::ReadOnly))
        return refuse(Exit::BadInput, inv.arguments[1] + ": cannot be read: " + file.errorString());
    up->data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refuse(Exit::BadInput, inv.arguments[1] + ": cannot be read: " + file.errorString());
    if (up->data.isEmpty())
        return refuse(Exit::BadInput, inv.arguments[1] + ": the file is empty; nothing to upload");
    up->sha256 = QString::fromLatin1(QCryptographicHash::hash(up->data, QCryptographicHash::Sha256).toHex());
    QString why;
    if (!record.writable(&why))
        return refuse(Exit::BadInput, why + " (--record FILE or --no-record)");
    // Never from the command line, where other users and the shell's history see it.
    QString password = qEnvironmentVariable("DUDAZE_PASSWORD");
    if (!qEnvironmentVariableIsSet("DUDAZE_PASSWORD")) {
        if (!isTerminal(stdin))
            return refuse(Exit::Password, QStringLiteral("no access password: set DUDAZE_PASSWORD, or run on a terminal to be asked"));
        password = readHidden(QStringLiteral("Access password: "));
    }
    if (password != QLatin1String(Access::password))
        return refuse(Exit::Password, QStringLiteral("wrong access password; nothing uploaded"));
    return -1;
}

int prepareLog(const Invocation &inv, QFile *log, bool *created)
{
    const QString path = inv.arguments[0];
    if (path == QLatin1String("-")) {
        log->open(stdout, QIODevice::WriteOnly);
        return -1;
    }
    log->setFileName(path);
    if (log->exists() && !inv.force)
        return refuse(Exit::BadInput, path + ": exists already (--force replaces it)");
    *created = !log->exists();
    // Emptied only when the dump is asked for: a port that fails first leaves it as it was.
    if (!log->open(QIODevice::WriteOnly | QIODevice::Append))
        return refuse(Exit::BadInput, path + ": cannot be written: " + log->errorString());
    return -1;
}

int prepare(const Invocation &inv, const Record &record, Prepared *p)
{
    if (inv.command == QLatin1String("dac") && !dacValueAccepted(inv.arguments[0]))
        return refuse(Exit::BadInput, "dac: '" + inv.arguments[0] + "' is not a value from 9 to 31.5; nothing sent");
    if (inv.command == QLatin1String("upload"))
        return prepareUpload(inv, record, &p->upload);
    if (inv.command == QLatin1String("log"))
        return prepareLog(inv, &p->log, &p->logCreated);
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
        return std::make_unique<LogJob>(s, p.log);
    return std::make_unique<ControlJob>(s);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    keepGoingOnFailedWrites();
    QCoreApplication::setApplicationName(QStringLiteral("dudaze-cli"));
    Invocation inv;
    const int parsed = parseInvocation(app.arguments(), &inv);
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
    watchInterrupts(&app, [&sessions, &lookup] {
        lookup.interrupt();
        for (auto &s : sessions)
            s->interrupt();
    });
    // Every server's name is looked up before any port opens.
    QString why;
    if (const int looked = lookup.run(inv.ports, &why); looked >= 0)
        return refuse(looked, why);

    // One session per port, all in this one event loop; the run ends with
    // the last of them and the highest exit code.
    int running = int(inv.ports.size());
    int code = Exit::Done;
    for (const QString &port : inv.ports) {
        sessions.push_back(std::make_unique<Session>(port, inv, out));
        Session *s = sessions.back().get();
        QObject::connect(s, &Session::finished, &app, [&, s] {
            code = qMax(code, s->code());
            if (--running == 0)
                QCoreApplication::exit(code);
        });
    }
    // Started from the loop, so that a session that ends at once still ends the run.
    for (auto &s : sessions)
        QMetaObject::invokeMethod(s.get(), [&, s = s.get()] { s->start(makeJob(*s, inv, prepared, record)); }, Qt::QueuedConnection);
    app.exec();
    if (prepared.logCreated && prepared.log.size() == 0)
        prepared.log.remove();
    return code;
}
