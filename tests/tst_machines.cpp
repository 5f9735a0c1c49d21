// The transfer machines fed scripted reads with a fake clock in ms; no port.
// A script is words apart: "+N" runs the clock N ms on, waking the machine
// whenever it asked to be ("+N*": with bytes pending at each wake); the
// upload's "S" starts it, "c" cancels, "l" loses the line; any other word is
// one read (the upload's: A ACK, N NAK, X CAN, '.' a filler, a number repeats
// the next character).
#include "protocol/logcapture.h"
#include "protocol/quietline.h"
#include "protocol/uploadmachine.h"
#include "protocol/timing.h"
#include "protocol/xmodem.h"
#include "testdata.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// Runs the script, handing reads to read() and wakes to wake(now, pending).
template <class Machine, class Read, class Wake>
qint64 play(const char *script, Machine &m, Read read, Wake wake)
{
    qint64 now = 0;
    for (const QByteArray &word : QByteArray(script).split(' ')) {
        if (!word.startsWith('+')) {
            read(word, now);
            continue;
        }
        const qint64 to = now + word.mid(1).replace('*', "").toLongLong();
        while (m.wakeAt() >= 0 && m.wakeAt() <= to)
            wake(now = m.wakeAt(), word.endsWith('*'));
        now = to;
    }
    return now;
}

// decode: A ACK, N NAK, X CAN, '.' a filler; otherwise only the repeats expanded.
QByteArray moduleRead(const QByteArray &word, bool decode = true)
{
    QByteArray bytes;
    int count = 0;
    for (const char c : word) {
        if (c >= '0' && c <= '9') {
            count = count * 10 + (c - '0');
            continue;
        }
        const char byte = !decode ? c : c == 'A' ? Xmodem::ACK : c == 'N' ? Xmodem::NAK : c == 'X' ? Xmodem::CAN : c == '.' ? 'x' : c;
        bytes += QByteArray(qMax(count, 1), byte);
        count = 0;
    }
    return bytes;
}

// An upload of a file of size bytes run by the script: its wire ("R B1 B1 B2
// E E@10 X": the request, blocks, EOTs, cancels; '@' when a wake wrote it) and its end.
QString runUpload(bool cli, bool data, int size, const char *script)
{
    const QByteArray file = blockPattern(size);
    const UploadTarget &target = data ? Upload::data : Upload::firmware;
    UploadMachine m(target, file, cli ? UploadSettings::commandLine() : UploadSettings::window());
    QStringList wire;
    auto take = [&](const char *at) {
        for (const QByteArray &w : m.takeWrites()) {
            const int no = w.size() > 1 ? quint8(w[1]) : -1;
            QString token = w == target.command ? "R" : w == QByteArray(1, Xmodem::EOT) ? "E" : w == Upload::cancel() ? "X"
                          : w == xmodemBlock(no, file.mid(qMax(0, no - 1) * 1024, 1024)) ? "B" + QString::number(no) : "?";
            wire << token + at;
        }
    };
    play(script, m, [&](const QByteArray &word, qint64 now) {
        word == "S" ? m.start(now) : word == "c" ? m.cancel(now) : word == "l" ? m.lineLost() : m.received(moduleRead(word), now);
        take("");
    }, [&](qint64 now, bool pending) { m.wake(now, pending); take(qPrintable("@" + QString::number(now))); });
    QStringList runs; // repeats as B1*3
    for (int i = 0, n; i < wire.size(); i += n) {
        for (n = 1; i + n < wire.size() && wire[i + n] == wire[i]; ++n) {}
        runs << (n > 1 ? wire[i] + '*' + QString::number(n) : wire[i]);
    }
    return runs.join(' ') + QString(" | %1 %2/%3").arg(m.ended() ? m.result() : "running").arg(m.blocksTaken()).arg(m.naks())
         + (m.loadDue() ? " load" : "") + (m.cancelAnswered() ? " answered" : "");
}

} // namespace

class TestMachines : public QObject
{
    Q_OBJECT
private slots:
    void upload()
    {
        const bool W = false, C = true; // the window's setting, the command line's
        const struct { const char *name; bool cli; bool data; int size; const char *script, *wire, *end; } rows[] = {
            {"the farewell with the EOT's ACK", W, true, 2048, "S C A A +10 A32.>", "R B1 B2 E E@10", "done 2/0 load"},
            {"the farewell a read of its own", W, true, 2048, "S C A A +10 A +50 33.>", "R B1 B2 E E@10", "done 2/0 load"},
            {"the farewell's prompt at 31", C, true, 2048, "S C A A +10 A31.>", "R B1 B2 E E@10", "failed 2/0"},
            {"a farewell before the second EOT", W, true, 2048, "S C A A A32.> +10", "R B1 B2 E E@10", "done 2/0 load"},
            {"the farewell from right after the final ACK", W, false, 1000, "S C A11.> +10 2.>", "R B1 E E@10", "failed 1/0"},
            {"a NAK before the 'C' sends block 0", W, true, 2048, "S N C", "R B0 B1", "running 0/1"},
            {"a 'C' while blocks flow is ignored, a NAK resends", W, true, 2048, "S C C N A", "R B1*2 B2", "running 1/1"},
            {"ten NAKs in a row: no limit in the window", W, true, 2048, "S C N N N N N N N N N N", "R B1*11", "running 0/10"},
            {"ten NAKs in a row: given up", C, true, 2048, "S C N N N N N N N N N N +3000", "R B1*10 X X@3000", "failed 0/10"},
            {"an ACK restarts the NAK count", C, true, 3072, "S C N N N N N N N N N A N N N N N N N N N", "R B1*10 B2*10", "running 1/18"},
            {"the module's two CAN across reads, whatever follows", W, true, 2048, "S C X X3.>", "R B1", "module-cancelled 0/0"},
            {"CAN, ACK, CAN, ACK: noise", C, true, 2048, "S C X A X A", "R B1 B2 E", "running 2/0"},
            {"the prompt instead of the 'C'", W, true, 2048, "S 3.> +3000", "R X X@3000", "failed 0/0"},
            {"the prompt while blocks flow", W, true, 3072, "S C A3.> +100 >", "R B1 B2 X", "failed 1/0 answered"},
            {"cancel answered", W, true, 2048, "S C c +100 > +3000", "R B1 X", "cancelled 0/0 answered"},
            {"cancel unanswered, sent once more", W, true, 2048, "S C c +3000", "R B1 X X@3000", "cancelled 0/0"},
            {"cancel twice in the window", W, true, 2048, "S C c c", "R B1 X*2", "running 0/0"},
            {"cancel twice on the command line", C, true, 2048, "S C c c", "R B1 X*2", "cancelled 0/0"},
            {"cancel before the start", W, true, 2048, "c S", "", "cancelled 0/0"},
            {"cancel after the last block: no second EOT", W, true, 2048, "S C A A c +10", "R B1 B2 E X", "running 2/0"},
            {"cancel after the last block: the verdict awaited", C, true, 2048, "S C A A c +10 A32.> +20", "R B1 B2 E E@10", "done 2/0 load"},
            {"cancel after the last block: no verdict", C, true, 2048, "S C A A c +6000", "R B1 B2 E E@10 X@3000 X@6000", "cancelled 2/0"},
            {"cancel again before the verdict: the first's wait", C, true, 2048, "S C A A c +1000 c +6000", "R B1 B2 E E@10 X@3000 X@6000", "cancelled 2/0"},
            {"a cancel after 8 s of silence", C, true, 2048, "S C +8000 c +6000", "R B1 X X@11000", "cancelled 0/0"},
            {"a silent module in the window", W, true, 2048, "S C +20000", "R B1", "running 0/0"},
            {"no 'C' on the command line", C, true, 2048, "S +14000", "R X@10000 X@13000", "timeout 0/0"},
            {"a silent module on the command line", C, true, 2048, "S C +5000 N +12000 >", "R B1*2 X@15000", "timeout 0/1 answered"},
            {"silent, but its bytes wait unread", C, true, 2048, "S C +25000* A", "R B1 B2", "running 1/0"},
            {"the line lost", W, true, 2048, "S C l +5000", "R B1", "lost 0/0"},
        };
        for (const auto &r : rows)
            QCOMPARE(r.name + (": " + runUpload(r.cli, r.data, r.size, r.script)), r.name + (": " + QString(r.wire)) + " | " + r.end);
    }

    // The module's exchange cut at every byte boundary, paused there below, at
    // and above every time constant (its bytes on their way, or waiting unread),
    // and cut at every pair of boundaries: the same writes and the same end as
    // in one piece. Only the command line's silence limit, crossed by a pause
    // in which nothing came, is meant to decide: it ends it as a timeout.
    void uploadSweeps_data()
    {
        QTest::addColumn<bool>("cli");
        QTest::addColumn<bool>("data");
        QTest::addColumn<QByteArray>("exchange");
        QTest::addColumn<QString>("end");
        // After the request ('#': so many fillers, firmware's or data's).
        const struct { const char *name, *exchange, *end; int firmware, data; } rows[] = {
            {"the farewell joined to the EOT's ACK", "C A A A#.>", "done", 2, 32},
            {"the farewell after a pause, text behind it", "C A A A #.>..", "done", 9, 33},
            {"a farewell refused", "C A A A #.>", "failed", 10, 34},
            {"the module's cancel", "C A XX", "module-cancelled", 0, 0},
            {"a lone CAN at a block", "C XA A A#.>", "done", 3, 32},
            {"a lone prompt at a block", "C A>", "failed", 0, 0},
        };
        for (const auto &r : rows) {
            for (int i = 0; i < 4; ++i) {
                const bool cli = i & 1, data = i & 2;
                const QByteArray exchange = QByteArray(r.exchange).replace('#', QByteArray::number(data ? r.data : r.firmware));
                QTest::addRow("%s, %s, %s", r.name, data ? "data" : "firmware", cli ? "command line" : "window")
                    << cli << data << moduleRead(exchange, false) << QString(r.end);
            }
        }
    }
    void uploadSweeps()
    {
        QFETCH(bool, cli);
        QFETCH(bool, data);
        QFETCH(QByteArray, exchange); // reads apart, one character a byte
        QFETCH(QString, end);
        const auto run = [&](const QByteArray &reads) {
            return runUpload(cli, data, 2048, ("S " + reads.simplified() + " +3100").constData()).remove(QRegularExpression("@\\d+"));
        };
        const QString whole = run(exchange);
        QVERIFY2(whole.contains(" | " + end + ' '), qPrintable(whole));
        QList<int> pauses;
        for (const Timing::Constant &c : Timing::constants)
            pauses << c.ms - 1 << c.ms << c.ms + 1;
        for (int at = 0; at < exchange.size(); ++at) {
            if (exchange[at] == ' ')
                continue;
            for (int pause : pauses) {
                for (int pending = 0; pending <= int(cli); ++pending) {
                    const QByteArray cut = QByteArray(exchange).insert(at, " +" + QByteArray::number(pause) + (pending ? "* " : " "));
                    const QString got = run(cut);
                    const bool silent = cli && !pending && pause >= UploadSettings::commandLine().silenceLimitMs;
                    QVERIFY2(got == whole || (silent && got.contains(" | timeout ")), qPrintable(cut + ": " + got + " against " + whole));
                }
            }
            for (int second = at + 1; second < exchange.size() && at > 0; ++second) {
                const QByteArray cut = QByteArray(exchange).insert(second, ' ').insert(at, ' ');
                QVERIFY2(run(cut) == whole, qPrintable(cut + ": " + run(cut)));
            }
        }
    }

    void logCaptureAndQuietLine()
    {
        // The log's end (log rows) and the wait for a quiet line: how each ended, and when.
        const struct { bool log; const char *script, *end; } rows[] = {
            {true, "log\r\n> +1000", "complete@300"},
            {true, "a>b +20000", "incomplete@15000"},      // a '>' inside the text
            {true, "a> +100 b +20000", "incomplete@15100"}, // text after the prompt
            {true, "log\r +100 \n> +100 \r +100 \n +1000", "complete@600"}, // line ends split, blanks after the prompt
            {true, "a> +300* +1000", "complete@600"},      // bytes the driver holds
            {true, "+20000", "incomplete@15000"},
            {false, "+1000", "quiet@300"},
            {false, "+250 a +1000", "quiet@550"},
            {false, "+250 a +250 a +250 a +250 a +250 a +250 a +250 a +1000", "gave-up@2000"},
            {false, "+300* +1000", "quiet@600"}, // bytes not yet read count as arriving
        };
        for (const auto &r : rows) {
            LogCapture log;
            QuietLine line;
            log.start(0);
            line.begin(0);
            qint64 endedAt = -1;
            const auto read = [&](const QByteArray &word, qint64 now) { r.log ? log.received(word, now) : line.arrived(now); };
            const auto wake = [&](qint64 now, bool pending) {
                r.log ? log.wake(now, pending) : line.wake(now, pending);
                endedAt = now;
            };
            r.log ? play(r.script, log, read, wake) : play(r.script, line, read, wake);
            const char *end = r.log ? (log.end() == LogCapture::End::Complete ? "complete" : log.end() == LogCapture::End::Incomplete ? "incomplete" : "running")
                                    : (line.state() == QuietLine::State::Quiet ? "quiet" : line.state() == QuietLine::State::GaveUp ? "gave-up" : "waiting");
            QCOMPARE(QString("%1@%2").arg(end).arg(endedAt), QString(r.end));
        }
    }
};

QTEST_APPLESS_MAIN(TestMachines)
#include "tst_machines.moc"
