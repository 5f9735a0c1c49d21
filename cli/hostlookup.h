#ifndef CLI_HOSTLOOKUP_H
#define CLI_HOSTLOOKUP_H

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <vector>

class QEventLoop;
class QSocketNotifier;

// The host names among the ports as given, looked up before any port opens,
// each in a child process of its own: a resolver that hangs (a name server
// that never answers) holds up neither the command's limit nor Ctrl-C, and
// one server given under two names is seen to be one.
class HostLookup : public QObject
{
    Q_OBJECT
public:
    ~HostLookup() override;

    // Looks up every name among the ports: -1 to go on (a name that did not
    // resolve fails its own port only), or an exit code with *why: one server
    // given twice, or an interrupt.
    int run(const QStringList &ports, QString *why);
    // Ctrl-C: a run in progress ends at once.
    void interrupt();

    // A host's addresses, in the resolver's order; an address literal stands
    // for itself. Empty, with *why, when the name did not resolve.
    static QStringList addressesOf(const QString &host, QString *why);

private:
    // A child process looking one name up.
    struct Child {
        QString host;
        qint64 pid = -1;
        int fd = -1;           // its answer comes on this descriptor
        QByteArray got;
        QSocketNotifier *notifier = nullptr;
    };
    void finished(Child &child);
    void endAll();
    QString sameServer(const QStringList &ports) const;

    std::vector<Child> m_children;
    QTimer m_limit;
    QEventLoop *m_loop = nullptr;
    bool m_interrupted = false;
};

#endif
