// The transfer machines fed scripted reads with a fake clock in ms; no port.
// A script is words apart: "+N" runs the clock N ms on, waking the machine
// whenever it asked to be ("+N*": with bytes pending at each wake); the
// upload's "S" starts it, "c" cancels, "l" loses the line; any other word is
// one read (the upload's: A ACK, N NAK, X CAN, '.' a filler, a number repeats
// the next character).
#include "protocol/logcapture.h"
#include "protocol/quietline.h"
#include "protocol/uploadmachine.h"
#include "protocol/xmodem.h"
#include "testdata.h"

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

QByteArray moduleRead(const QByteArray &word)
{
    QByteArray bytes;
    int count = 0;
    for (const char c : word) {
        if (c >= '0' && c <= '9') {
            count = count * 10 + (c - '0');
            continue;
        }
        const char byte = c == 'A' ? Xmodem::ACK : c == 'N' ? Xmodem::NAK : c == 'X' ? Xmodem::CAN : c == '.' ? 'x' : c;
        bytes += QByteArray(qMax(count, 1), byte);
        count = 0;
    }
    return bytes;
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
            {"ACK and farewell 5 ms apart: two reads", W, true, 2048, "S C A A +10 A +5 32.>", "R B1 B2 E E@10", "failed 2/0"},
            {"ACK and farewell 5 ms apart: one read gathered", C, true, 2048, "S C A A +10 A +5 32.> +20", "R B1 B2 E E@10", "done 2/0 load"},
            {"ACK and farewell 50 ms apart: two reads gathered", C, true, 2048, "S C A A +10 A +50 32.> +20", "R B1 B2 E E@10", "failed 2/0"},
            {"a read gathered from its first byte, not its last", C, true, 2048, "S C A A +10 A +15 15. +15 17.> +20", "R B1 B2 E E@10", "failed 2/0"},
            {"a farewell before the second EOT", W, true, 2048, "S C A A A32.> +10", "R B1 B2 E E@10", "done 2/0 load"},
            {"a farewell before the second EOT, gathered", C, true, 2048, "S C A A A32.> +20", "R B1 B2 E E@10", "done 2/0 load"},
            {"no prompt looked for in the final ACK's read", W, false, 1000, "S C A11.> +10 2.>", "R B1 E E@10", "done 1/0"},
            {"firmware, the prompt at 9", W, false, 1000, "S C A +10 9.>", "R B1 E E@10", "done 1/0"},
            {"firmware, the prompt at 10", C, false, 1000, "S C A +10 10.> +20", "R B1 E E@10", "failed 1/0"},
            {"a NAK before the 'C' sends block 0", W, true, 2048, "S N C", "R B0 B1", "running 0/1"},
            {"a 'C' while blocks flow is ignored, a NAK resends", W, true, 2048, "S C C N A", "R B1*2 B2", "running 1/1"},
            {"ten NAKs in a row: no limit in the window", W, true, 2048, "S C N N N N N N N N N N", "R B1*11", "running 0/10"},
            {"ten NAKs in a row: given up", C, true, 2048, "S C N N N N N N N N N N +3000", "R B1*10 X X@3000", "failed 0/10"},
            {"an ACK restarts the NAK count", C, true, 3072, "S C N N N N N N N N N A N N N N N N N N N", "R B1*10 B2*10", "running 1/18"},
            {"the module's CAN, whatever follows", W, true, 2048, "S C X3.>", "R B1", "module-cancelled 0/0"},
            {"the prompt instead of the 'C'", W, true, 2048, "S 3.>", "R", "failed 0/0"},
            {"the prompt while blocks flow", W, true, 3072, "S C A3.>", "R B1 B2", "failed 1/0"},
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
            {"the line lost", W, true, 2048, "S C l +5000", "R B1", "lost 0/0"},
        };
        for (const auto &r : rows) {
            const QByteArray file = blockPattern(r.size);
            const UploadTarget &target = r.data ? Upload::data : Upload::firmware;
            UploadMachine m(target, file, r.cli ? UploadSettings::commandLine() : UploadSettings::window());
            QStringList wire;
            auto take = [&](const char *at) {
                for (const QByteArray &w : m.takeWrites()) {
                    const int no = w.size() > 1 ? quint8(w[1]) : -1;
                    QString token = w == target.command ? "R" : w == QByteArray(1, Xmodem::EOT) ? "E" : w == Upload::cancel() ? "X"
                                  : w == xmodemBlock(no, file.mid(qMax(0, no - 1) * 1024, 1024)) ? "B" + QString::number(no) : "?";
                    wire << token + at;
                }
            };
            play(r.script, m, [&](const QByteArray &word, qint64 now) {
                word == "S" ? m.start(now) : word == "c" ? m.cancel(now) : word == "l" ? m.lineLost() : m.received(moduleRead(word), now);
                take("");
            }, [&](qint64 now, bool) { m.wake(now); take(qPrintable("@" + QString::number(now))); });
            QStringList runs; // repeats as B1*3
            for (int i = 0, n; i < wire.size(); i += n) {
                for (n = 1; i + n < wire.size() && wire[i + n] == wire[i]; ++n) {}
                runs << (n > 1 ? wire[i] + '*' + QString::number(n) : wire[i]);
            }
            const QString end = QString("%1 %2/%3").arg(m.ended() ? m.result() : "running").arg(m.blocksTaken()).arg(m.naks())
                              + (m.loadDue() ? " load" : "") + (m.cancelAnswered() ? " answered" : "");
            QCOMPARE(r.name + (": " + runs.join(' ')) + " | " + end, r.name + (": " + QString(r.wire)) + " | " + r.end);
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
