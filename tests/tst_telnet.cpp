#include "cli/invocation.h"
#include "cli/telnetframing.h"
#include "testdata.h"

#include <QtTest>

namespace {

const struct Row {
    const char *name;
    const char *server;  // hex, '|' between reads, taken after our greeting
    const char *data;    // the module's bytes, hex
    const char *reply;   // what the client answers, hex
    const char *answers; // COM-PORT answers as "command:hexvalue", ' ' between
    bool agreed;         // COM-PORT agreed
    const char *refusal; // part of the refusal; empty: none
} rows[] = {
    {"a server's opening", "fffb03fffd03fffb01fffe01fffd00fffb00fffd2c", "", "fffe01", "", true, ""},
    {"options we do not do are refused once each", "fffb18fffd1f41", "41", "fffe18fffc1f", "", false, ""},
    {"doubled 0xFF is one module byte, also across reads", "41ffff|42ff|ff43", "41ff42ff43", "", "", false, ""},
    {"notices and commands among the bytes", "41fffa2c6a10fff042fffa2c6bffff|fff0fff1fff943", "414243", "", "", false, ""},
    {"answers to the line settings", "fffd2cfffa2c650001c200fff0fffa|2c6608fff0fffa2c6701fff0", "", "",
     "1:0001c200 2:08 3:01", true, ""},
    {"an answer holding 0xFF", "fffa2c650001ffffffff|fff0", "", "", "1:0001ffff", false, ""},
    {"COM-PORT refused", "fffe2c", "", "", "", false, "COM-PORT"},
    {"binary refused", "fffd2cfffc00", "", "", "", true, "binary"},
    {"an option taken back is answered", "fffd03fffe03", "", "fffc03", "", false, ""},
    {"a command inside a subnegotiation is dropped, not its end", "fffa2c650001ff|f1c200fff0fffa2c6bfff14d4f443a204f4efff041", "41", "",
     "1:0001c200", false, ""},
};

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

} // namespace

// The Telnet framing of a port on a network server, fed the server's bytes
// as they may come: split anywhere, notices among the module's bytes.
class TestTelnet : public QObject
{
    Q_OBJECT
private slots:
    void take_data() { addRows(rows); }
    void take()
    {
        QFETCH(int, row);
        const Row &r = rows[row];
        Telnet::Client client;
        client.greeting(); // what the server's bytes answer
        QByteArray data, reply;
        QStringList answers;
        for (const QByteArray &read : QByteArray(r.server).split('|')) {
            const Telnet::Client::Taken taken = client.take(hex(read));
            data += taken.data;
            reply += taken.reply;
            for (const Telnet::Setting &s : taken.answers)
                answers << QString::number(s.command) + ':' + s.value.toHex();
        }
        QCOMPARE(data.toHex(), QByteArray(r.data));
        QCOMPARE(reply.toHex(), QByteArray(r.reply));
        QCOMPARE(answers.join(' '), QString(r.answers));
        QCOMPARE(client.comPortAgreed(), r.agreed);
        QVERIFY2(*r.refusal ? client.refusal().contains(r.refusal) : client.refusal().isEmpty(), qPrintable(client.refusal()));
    }

    void requests()
    {
        LineSettings line;
        line.baud = 0x1ffff; // a speed whose bytes hold 0xFF
        line.dataBits = QSerialPort::Data7;
        line.parity = QSerialPort::OddParity;
        line.stopBits = QSerialPort::OneAndHalfStop;
        QByteArray sent;
        for (const Telnet::Setting &s : Telnet::lineRequests(line))
            sent += Telnet::request(s);
        QCOMPARE(sent.toHex(), QByteArray("fffa2c010001fffffffffff0" "fffa2c0207fff0" "fffa2c0302fff0" "fffa2c0403fff0" "fffa2c0501fff0"));
        // Offers after the server's opening leave out what it settled.
        Telnet::Client late;
        QCOMPARE(late.take(hex("fffd2cfffb00")).reply.toHex(), QByteArray("fffb2cfffd00"));
        QVERIFY(late.heard());
        Telnet::Client keptAlive; // a keep-alive alone shows Telnet too
        keptAlive.take(hex("fff1"));
        QVERIFY(keptAlive.heard());
        QCOMPARE(late.greeting().toHex(), QByteArray("fffb00fffb03fffd03"));
    }

    // One that never ends is cut short, not kept in memory without bound.
    void endlessSubnegotiation()
    {
        Telnet::Client client;
        QCOMPARE(client.take(hex("fffa2c") + QByteArray(1 << 20, 'A')).data, QByteArray());
        QVERIFY(client.refusal().contains("does not end"));
        QCOMPARE(client.take(hex("fff042")).data, QByteArray("B"));
    }
};

QTEST_GUILESS_MAIN(TestTelnet)
#include "tst_telnet.moc"
