#include "networkline.h"

#include "hostlookup.h"
#include "invocation.h"
#include "protocol/commands.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {
// Connecting and agreeing the line may take this long; then the server is taken as unreachable.
constexpr int openLimitMs = 5000;
// A raw connection the server ends within this long was most likely turned away.
constexpr int earlyCloseMs = 1000;
// A Telnet server opens its negotiation at once; one that says nothing this
// long after the connection is made gets the client's offers first.
constexpr int greetWaitMs = 1000;
// What the socket holds of the server's bytes before this line takes them:
// a burst flows through in pieces of this size, never gathered whole.
constexpr qint64 readChunk = 64 * 1024;
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
    m_socket.setReadBufferSize(readChunk);
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
    m_requests = Telnet::lineRequests(settings);
    QString why;
    m_addresses = HostLookup::addressesOf(m_address.host, &why);
    if (m_addresses.isEmpty())
        return fail("cannot reach the server: " + why);
    m_limit.start(openLimitMs);
    connectNext();
}

// Each address the name has, in the resolver's order, until one takes the connection.
void NetworkLine::connectNext()
{
    m_socket.abort();
    m_socket.connectToHost(QHostAddress(m_addresses.takeFirst()), m_address.port);
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
    // The module's bytes are handed on piece by piece, each taken by the
    // session before the next is read.
    while (!m_closed && m_socket.bytesAvailable() > 0)
        take(m_socket.read(readChunk));
}

void NetworkLine::take(const QByteArray &bytes)
{
    if (!m_address.telnet) {
        if (m_rawHead.size() < 2) {
            m_rawHead += bytes.left(2 - m_rawHead.size());
            const quint8 verb = m_rawHead.size() == 2 ? quint8(m_rawHead.at(1)) : 0;
            if (quint8(m_rawHead.at(0)) == Telnet::IAC && (verb == Telnet::SB || verb >= Telnet::WILL))
                return drop(QStringLiteral("the server opens with Telnet negotiation: an RFC 2217 port? use rfc2217://"));
        }
        if (m_connected.elapsed() < earlyCloseMs)
            m_early = (m_early + bytes).left(200);
        m_in += bytes;
        return emit readyRead();
    }
    const Telnet::Client::Taken taken = m_telnet.take(bytes);
    if (!taken.reply.isEmpty())
        m_socket.write(taken.reply);
    takeAnswers(taken.answers);
    if (m_open) {
        // A server that stops carrying the line as agreed would garble the module's bytes.
        if (!m_telnet.refusal().isEmpty())
            return drop(m_telnet.refusal());
        if (!changed().isEmpty())
            return drop(changed());
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
        for (const Telnet::Setting &s : std::as_const(m_requests))
            m_socket.write(Telnet::request(s));
    }
    if (m_asked && m_answered.size() == m_requests.size()) {
        if (!changed().isEmpty())
            return fail(changed());
        m_limit.stop();
        m_open = true;
        emit opened();
    }
}

void NetworkLine::takeAnswers(const QList<Telnet::Setting> &answers)
{
    for (const Telnet::Setting &answer : answers) {
        auto it = std::find_if(m_answered.begin(), m_answered.end(),
                               [&](const Telnet::Setting &s) { return s.command == answer.command; });
        if (it != m_answered.end())
            it->value = answer.value; // the last answer is what the line now has
        else if (std::any_of(m_requests.begin(), m_requests.end(), [&](const Telnet::Setting &s) { return s.command == answer.command; }))
            m_answered << answer;
    }
}

// The first setting the server has otherwise than asked; empty while all are as asked.
QString NetworkLine::changed() const
{
    for (const Telnet::Setting &has : m_answered) {
        for (const Telnet::Setting &asked : m_requests) {
            if (asked.command == has.command && asked.value != has.value)
                return QString("the server refuses %1 %2 (it set %3)").arg(Telnet::settingName(asked.command),
                                                                          Telnet::valueText(asked), Telnet::valueText(has));
        }
    }
    return QString();
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
    if (!m_connected.isValid() && !m_addresses.isEmpty())
        return connectNext();
    fail((m_connected.isValid() ? "the server closed the connection before the line was agreed: " : "cannot reach the server: ")
         + m_socket.errorString() + serverSaid());
}

QString NetworkLine::serverSaid() const
{
    QString said = QString::fromLatin1(m_early);
    said = said.replace(QRegularExpression(QStringLiteral("[^ -~]+")), QStringLiteral(" ")).simplified();
    return said.isEmpty() ? QString() : "; the server said: " + said;
}

// The line ends once open: what the session was doing is lost with it.
void NetworkLine::drop(const QString &why)
{
    if (m_closed)
        return;
    const bool wasOpen = m_open;
    close();
    if (wasOpen)
        emit lost(why);
    else
        emit failed(why);
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
