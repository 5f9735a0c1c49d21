#ifndef CONTROLSERVER_H
#define CONTROLSERVER_H

#include "simcontrol.h"

#include <QHash>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The control channel of module-sim: a Unix domain socket that takes command
// lines for SimControl and writes back each answer followed by "\n".
class ControlServer : public QObject
{
    Q_OBJECT

public:
    ControlServer(ModuleSim &sim, QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens at path; a socket left there by an earlier run is replaced,
    // a file of another kind is not.
    bool listen(const QString &path);
    QString errorString() const;

private:
    void onConnection();
    void onReadable(QLocalSocket *socket);

    SimControl m_control;
    QLocalServer *m_server;
    QHash<QLocalSocket *, QByteArray> m_partial; // bytes after the last line end, per client
    QString m_error;
};

#endif
