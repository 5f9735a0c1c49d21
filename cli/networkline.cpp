#include "networkline.h"

#include "invocation.h"
#include "protocol/commands.h"

#include <QRegularExpression>

namespace {
// Connecting and agreeing the line may take this long; then the server is taken as unreachable.
constexpr int openLimitMs = 5000;
// A raw connection the server ends within this long was most likely turned away.
constexpr int earlyCloseMs = 1000;
// A Telnet server opens its negotiation at once; one that says nothing this
// long after the connection is made gets the client's offers first.
constexpr int greetWaitMs = 1000;
}

NetworkLine::NetworkLine(const NetAddress &address)
    : m_address(address)
{
    m_limit.setSingleShot(true);
    m_greetWait.setSingleShot(true);
    connect(&m_greetWait, &QTimer::timeout, this, &NetworkLine::greet);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return fail(QString("cannot reach the server: no answer within %1 s").arg(openLimitMs / 1000));
        if (!m_greeted || m_telnet.heard())
            return fail(QString("the server did not agree the line settings within %1 s").arg(openLimitMs / 1000));
        // Offers that went to a raw port reached the module as the start of a
        // line: a line end closes it, or the next command would be read as
        // its tail.
        m_socket.write(Cmd::LineEnd);
        m_socket.flush(); // the program may end before the event loop would send it
        fail(QString("no Telnet from the server within %1 s: a raw port? (socket://)").arg(openLimitMs / 1000));
    });
    connect(&m_socket, &QTcpSocket::connected, this, &NetworkLine::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkLine::onReadyRead);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &Line::bytesWritten);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLine::onGone);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &NetworkLine::onGone);
#else
    connect(&m_socket, QOverload<QAbstractSocket::SocketError>::of(&QAbstractSocket::error), this, &NetworkLine::onGone);
#endif
}

void NetworkLine::open(const LineSettings &settings)
{
    m_pending = Telnet::lineRequests(settings);
    m_limit.start(openLimitMs);
    m_socket.connectToHost(m_address.host, m_address.port); // an address literal is not looked up
}

void NetworkLine::onConnected()
{
    m_connected.start();
    // Module bytes go out as they are written, not gathered into larger segments.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_address.telnet) {
        m_limit.stop();
        m_open = true;
        return emit opened();
    }
    // Offers written to a raw port would reach the module as bytes: a server
    // that speaks Telnet is let speak first.
    m_greetWait.start(greetWaitMs);
}

void NetworkLine::greet()
{
    if (std::exchange(m_greeted, true))
        return;
    m_greetWait.stop();
    m_socket.write(m_telnet.greeting());
}

void NetworkLine::write(const QByteArray &bytes)
{
    if (m_open)
        m_socket.write(m_address.telnet ? Telnet::escaped(bytes) : bytes);
}

void NetworkLine::onReadyRead()
{
    const QByteArray bytes = m_socket.readAll();
    if (bytes.isEmpty() || m_closed)
        return;
    if (!m_address.telnet) {
        if (m_connected.elapsed() < earlyCloseMs)
            m_early = (m_early + bytes).left(200);
        m_in += bytes;
        return emit readyRead();
    }
    const Telnet::Client::Taken taken = m_telnet.take(bytes);
    if (!taken.reply.isEmpty())
        m_socket.write(taken.reply);
    if (m_open) {
        // A server that stops carrying the line as agreed would garble the module's bytes.
        if (!m_telnet.refusal().isEmpty()) {
            close();
            return emit lost(m_telnet.refusal());
        }
        if (!taken.data.isEmpty()) {
            m_in += taken.data;
            emit readyRead();
        }
        return;
    }
    // Before the line is agreed nothing the server passes on is an answer to
    // this program; it is kept only to tell why a server closed on us.
    m_early = (m_early + taken.data).left(200);
    if (!m_telnet.refusal().isEmpty())
        return fail(m_telnet.refusal());
    if (!m_greeted && !taken.data.isEmpty() && !m_telnet.heard())
        return fail(QStringLiteral("the server sends the module's bytes without Telnet: a raw port? (socket://)"));
    if (m_telnet.heard())
        greet();
    if (m_telnet.comPortAgreed() && !m_asked) {
        m_asked = true;
        for (const Telnet::Setting &s : std::as_const(m_pending))
            m_socket.write(Telnet::request(s));
    }
    for (const Telnet::Setting &answer : taken.answers) {
        for (int i = 0; i < m_pending.size(); ++i) {
            const Telnet::Setting &asked = m_pending.at(i);
            if (asked.command != answer.command)
                continue;
            if (asked.value != answer.value)
                return fail(QString("the server refuses %1 %2 (it set %3)").arg(Telnet::settingName(asked.command),
                                                                                   Telnet::valueText(asked), Telnet::valueText(answer)));
            m_pending.removeAt(i);
            break;
        }
    }
    if (m_asked && m_pending.isEmpty()) {
        m_limit.stop();
        m_open = true;
        emit opened();
    }
}

void NetworkLine::onGone()
{
    if (m_closed)
        return;
    if (m_open) {
        m_open = false;
        m_closed = true;
        return emit lost("the connection to the server was lost (" + m_socket.errorString()
                         + (m_connected.elapsed() < earlyCloseMs ? serverSaid() : QString()) + ")");
    }
    if (m_socket.state() == QAbstractSocket::ConnectedState || m_socket.state() == QAbstractSocket::ConnectingState
            || m_socket.state() == QAbstractSocket::HostLookupState)
        return; // an error that leaves the connection as it was, such as a refused write
    fail((m_connected.isValid() ? "the server closed the connection before the line was agreed: " : "cannot reach the server: ")
         + m_socket.errorString() + serverSaid());
}

QString NetworkLine::serverSaid() const
{
    QString said = QString::fromLatin1(m_early);
    said = said.replace(QRegularExpression(QStringLiteral("[^ -~]+")), QStringLiteral(" ")).simplified();
    return said.isEmpty() ? QString() : "; the server said: " + said;
}

void NetworkLine::fail(const QString &why)
{
    if (m_closed)
        return;
    close();
    emit failed(why);
}

void NetworkLine::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_open = false;
    m_limit.stop();
    m_greetWait.stop();
    // What is written is sent before the connection ends; a connection not
    // yet made is dropped.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.disconnectFromHost();
    else
        m_socket.abort();
}
