#ifndef CLI_TELNETFRAMING_H
#define CLI_TELNETFRAMING_H

#include <QByteArray>
#include <QList>

struct LineSettings;

// The client's side of a Telnet stream with the COM-PORT option (RFC 2217),
// without any I/O: what goes out, and the module's bytes separated from the
// server's negotiation and notices.
namespace Telnet {

enum : quint8 { SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255 };
enum : quint8 { Binary = 0, SuppressGoAhead = 3, ComPort = 44 };

// COM-PORT commands the client sends; the server answers each with the
// command plus 100 and the value it now has.
enum : quint8 { SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5 };
constexpr quint8 serverOffset = 100;

// Data as it goes on the stream: every 0xFF doubled.
QByteArray escaped(const QByteArray &data);

struct Setting {
    quint8 command;
    QByteArray value;
};

// The COM-PORT requests for a line: speed, data bits, parity, stop bits, no flow control.
QList<Setting> lineRequests(const LineSettings &line);
// One request as sent: IAC SB COM-PORT command value IAC SE, the value escaped.
QByteArray request(const Setting &setting);
// What a request and its answer are called in a message.
const char *settingName(quint8 command);
QString valueText(const Setting &setting);

class Client
{
public:
    // The client's offers: COM-PORT and binary both ways, no go-aheads;
    // those the server's own negotiation has settled already left out.
    QByteArray greeting();

    struct Taken {
        QByteArray data;            // the module's bytes
        QByteArray reply;           // answers to the server's negotiation, to send
        QList<Setting> answers;     // the server's answers to our COM-PORT requests
    };
    Taken take(const QByteArray &bytes);

    // The server has sent a Telnet command.
    bool heard() const { return m_heard; }
    // The server agreed to COM-PORT.
    bool comPortAgreed() const { return m_us[ComPort]; }
    // Why the stream cannot carry the module's line; empty while it can.
    const QString &refusal() const { return m_refusal; }

private:
    void negotiate(quint8 verb, quint8 option, Taken *out);
    void subnegotiation(Taken *out);

    // Far longer than any COM-PORT message (a signature is the longest).
    static constexpr int subLimit = 256;
    enum class State { Data, Iac, Verb, Sub, SubIac } m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_us[256] = {};       // options we do
    bool m_him[256] = {};      // options the server does
    bool m_asked[256] = {};    // our offer (WILL) not yet answered
    bool m_askedHim[256] = {}; // our request (DO) not yet answered
    QString m_refusal;
    bool m_heard = false;
};

} // namespace Telnet

#endif
