#include "controlserver.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/stat.h>

namespace {
// Far above any real command (a log text of several MB as hex), low enough
// that a client that never ends its line cannot take all memory.
const int MaxLine = 64 * 1024 * 1024;
}

ControlServer::ControlServer(ModuleSim &sim, QObject *parent)
    : QObject(parent)
    , m_control(sim)
    , m_server(new QLocalServer(this))
{
    // Only this user may drive the module.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::onConnection);
}

ControlServer::~ControlServer()
{
    m_server->close();
}

bool ControlServer::listen(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            m_error = QStringLiteral("%1 exists and is not a socket").arg(path);
            return false;
        }
        QLocalServer::removeServer(path);
    }
    if (!m_server->listen(path)) {
        m_error = m_server->errorString();
        return false;
    }
    return true;
}

QString ControlServer::errorString() const { return m_error; }

void ControlServer::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        m_partial.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_partial.remove(socket);
            socket->deleteLater();
        });
    }
}

void ControlServer::onReadable(QLocalSocket *socket)
{
    QByteArray &pending = m_partial[socket];
    pending += socket->readAll();
    int start = 0;
    for (int end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArray line = pending.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        socket->write(m_control.execute(line) + '\n');
    }
    pending.remove(0, start);
    if (pending.size() > MaxLine) {
        pending.clear(); // before the disconnect, which may drop the entry at once
        socket->write("error line too long\n");
        socket->disconnectFromServer();
    }
}
