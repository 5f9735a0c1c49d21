#include "telnetframing.h"

#include "invocation.h"

#include <cstring>
#include <initializer_list>
#include <utility>

namespace Telnet {

namespace {

bool weDo(quint8 option) { return option == Binary || option == SuppressGoAhead || option == ComPort; }
// The server's echo would send our own bytes back as if the module had.
bool heMay(quint8 option) { return option == Binary || option == SuppressGoAhead; }

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (quint8 b : list)
        out += char(b);
    return out;
}

QByteArray command(quint8 verb, quint8 option) { return bytes({IAC, verb, option}); }

} // namespace

QByteArray escaped(const QByteArray &data)
{
    if (!data.contains(char(IAC)))
        return data;
    QByteArray out;
    out.reserve(data.size() + data.size() / 8);
    for (char c : data) {
        out += c;
        if (quint8(c) == IAC)
            out += c;
    }
    return out;
}

QList<Setting> lineRequests(const LineSettings &line)
{
    const quint32 baud = quint32(line.baud);
    const QByteArray speed = bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
    quint8 parity = 1; // none
    switch (line.parity) {
    case QSerialPort::OddParity: parity = 2; break;
    case QSerialPort::EvenParity: parity = 3; break;
    case QSerialPort::MarkParity: parity = 4; break;
    case QSerialPort::SpaceParity: parity = 5; break;
    default: break;
    }
    const quint8 stop = line.stopBits == QSerialPort::TwoStop ? 2 : line.stopBits == QSerialPort::OneAndHalfStop ? 3 : 1;
    return {{SetBaudRate, speed}, {SetDataSize, QByteArray(1, char(line.dataBits))}, {SetParity, QByteArray(1, char(parity))},
            {SetStopSize, QByteArray(1, char(stop))}, {SetControl, QByteArray(1, char(1))}};
}

QByteArray request(const Setting &s)
{
    return bytes({IAC, SB, ComPort, s.command}) + escaped(s.value) + bytes({IAC, SE});
}

const char *settingName(quint8 command)
{
    switch (command) {
    case SetBaudRate: return "speed";
    case SetDataSize: return "data bits";
    case SetParity: return "parity";
    case SetStopSize: return "stop bits";
    case SetControl: return "flow control";
    }
    return "setting";
}

QString valueText(const Setting &s)
{
    if (s.value.isEmpty())
        return QStringLiteral("nothing");
    const quint8 v = quint8(s.value.at(0));
    switch (s.command) {
    case SetBaudRate: {
        quint32 baud = 0;
        for (char c : s.value)
            baud = baud << 8 | quint8(c);
        return QString::number(baud) + " baud";
    }
    case SetParity: {
        static const char *const names[] = {"?", "none", "odd", "even", "mark", "space"};
        return QLatin1String(v < 6 ? names[v] : "?");
    }
    case SetStopSize: return QLatin1String(v == 3 ? "1.5" : v == 2 ? "2" : v == 1 ? "1" : "?");
    case SetControl: return v == 1 ? QStringLiteral("none") : "mode " + QString::number(v);
    }
    return QString::number(v);
}

QByteArray Client::greeting()
{
    QByteArray out;
    for (quint8 option : {ComPort, Binary, SuppressGoAhead}) {
        if (!m_us[option] && !std::exchange(m_asked[option], true))
            out += command(WILL, option);
    }
    for (quint8 option : {Binary, SuppressGoAhead}) {
        if (!m_him[option] && !std::exchange(m_askedHim[option], true))
            out += command(DO, option);
    }
    return out;
}

Client::Taken Client::take(const QByteArray &bytes)
{
    Taken out;
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        if (m_state == State::Data) {
            // The module's bytes up to the next IAC go out as one piece.
            const char *iac = static_cast<const char *>(std::memchr(p, IAC, size_t(end - p)));
            const char *stop = iac ? iac : end;
            out.data.append(p, int(stop - p));
            p = stop;
            if (iac) {
                m_state = State::Iac;
                ++p;
            }
            continue;
        }
        const quint8 b = quint8(*p++);
        switch (m_state) {
        case State::Data:
            break;
        case State::Iac:
            if (b == IAC) {
                out.data += char(b);
                m_state = State::Data;
                break;
            }
            // Any command, a NOP keep-alive too, shows the server speaks Telnet.
            m_heard = true;
            if (b >= WILL) {
                m_verb = b;
                m_state = State::Verb;
            } else if (b == SB) {
                m_sub.clear();
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, go-ahead, break and the like carry no module byte
            }
            break;
        case State::Verb:
            negotiate(m_verb, b, &out);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == IAC)
                m_state = State::SubIac;
            else if (m_sub.size() < subLimit)
                m_sub += char(b);
            else if (m_refusal.isEmpty()) // the module's bytes may be vanishing into it
                m_refusal = QStringLiteral("the server's negotiation does not end");
            break;
        case State::SubIac:
            // Only IAC SE ends it: another command inside is dropped, so that
            // what follows is never taken for the module's bytes.
            if (b == SE) {
                subnegotiation(&out);
                m_state = State::Data;
            } else {
                if (b == IAC && m_sub.size() < subLimit)
                    m_sub += char(b);
                m_state = State::Sub;
            }
            break;
        }
    }
    return out;
}

// Each side says what it will and will not do; an answer goes out only when
// a state changes, so that two sides never answer each other for ever.
void Client::negotiate(quint8 verb, quint8 option, Taken *out)
{
    const bool enable = verb == WILL || verb == DO;
    const bool ours = verb == DO || verb == DONT;
    bool &on = ours ? m_us[option] : m_him[option];
    bool &asked = ours ? m_asked[option] : m_askedHim[option];
    const bool wanted = ours ? weDo(option) : heMay(option);
    const bool wasAsked = std::exchange(asked, false);
    if (enable && wanted) {
        if (!on && !wasAsked)
            out->reply += command(ours ? WILL : DO, option);
        on = true;
    } else if (enable) {
        out->reply += command(ours ? WONT : DONT, option);
    } else {
        if (on && !wasAsked)
            out->reply += command(ours ? WONT : DONT, option);
        on = false;
        if (option == ComPort && ours && m_refusal.isEmpty())
            m_refusal = QStringLiteral("the server does not control the serial port (no RFC 2217 COM-PORT option)");
        if (option == Binary && m_refusal.isEmpty())
            m_refusal = QStringLiteral("the server refuses binary transmission");
    }
}

void Client::subnegotiation(Taken *out)
{
    // Line-state and modem-state notices, flow control and signatures carry no
    // module byte; only the answers to our requests count.
    if (m_sub.size() < 2 || quint8(m_sub.at(0)) != ComPort)
        return;
    const quint8 command = quint8(m_sub.at(1));
    if (command > serverOffset && command <= serverOffset + SetControl)
        out->answers << Setting{quint8(command - serverOffset), m_sub.mid(2)};
}

} // namespace Telnet
