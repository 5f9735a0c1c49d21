#ifndef CLI_NETWORKLINE_H
#define CLI_NETWORKLINE_H

#include "line.h"
#include "netaddress.h"
#include "telnetframing.h"
#include "line/lineprobe.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

// A serial port behind a server on the network (ser2net, a device server):
// a raw TCP stream, or Telnet with the COM-PORT option, through which the
// line settings are asked of the server before the line counts as open.
class NetworkLine : public Line
{
    Q_OBJECT
public:
    explicit NetworkLine(const NetAddress &address);

    void open(const LineSettings &settings) override;
    bool isOpen() const override { return m_open; }
    void write(const QByteArray &bytes) override;
    QByteArray readAll() override { return std::exchange(m_in, QByteArray()); }
    // The socket's and the system's too: what the server sent has not been unframed yet.
    bool bytesWaiting() const override
    {
        return !m_in.isEmpty() || ::bytesWaiting(m_socket, m_socket.socketDescriptor());
    }
    qint64 bytesToWrite() const override { return m_socket.bytesToWrite(); }
    void close() override;

private:
    void onConnected();
    void onReadyRead();
    void take(const QByteArray &bytes);
    void onGone();
    void fail(const QString &why);
    void drop(const QString &why);
    void greet();
    QString serverSaid() const;

    NetAddress m_address;
    QTcpSocket m_socket;
    QTimer m_limit;
    QTimer m_greetWait;
    Telnet::Client m_telnet;
    void connectNext();
    void takeAnswers(const QList<Telnet::Setting> &answers);
    QString changed() const;

    QList<Telnet::Setting> m_requests;  // the line settings asked of the server
    QList<Telnet::Setting> m_answered;  // the server's last answer to each, as it stands
    QStringList m_addresses;            // the server's addresses, tried in turn
    QByteArray m_in;
    QElapsedTimer m_connected;
    // What came before the line was agreed, or in the first moment of a raw
    // stream: a server that closes at once (its device in use, say) tells why in it.
    QByteArray m_early;
    bool m_greeted = false;
    bool m_asked = false;
    // The first bytes of a raw stream: Telnet negotiation there is a server
    // that wants rfc2217://, not the module.
    QByteArray m_rawHead;
    bool m_open = false;
    bool m_closed = false;
};

#endif
