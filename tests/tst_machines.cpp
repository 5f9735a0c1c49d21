// The transfer machines fed scripted reads with a fake clock in ms; no port.
// A script is words apart: "+N" runs the clock N ms on, waking the machine
// whenever it asked to be ("+N*": with bytes pending at each wake); the
// upload's "S" starts it, "c" cancels, "l" loses the line; the quiet line's
// "!MOD" writes that command; any other word is one read (the upload's: A ACK,
// N NAK, X CAN, '.' a filler, a number repeats the next character).
#include "cli/statusreader.h"
#include "protocol/logcapture.h"
#include "protocol/owedanswers.h"
#include "protocol/pacing.h"
#include "protocol/quietline.h"
#include "protocol/timing.h"
#include "protocol/uploadmachine.h"
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

// The pauses every sweep tries: just below, at and just above every time
// the programs wait for.
QList<int> pausesAtConstants()
{
    QList<int> pauses;
    for (const Timing::Constant &c : Timing::constants)
        pauses << c.ms - 1 << c.ms << c.ms + 1;
    return pauses;
}

using Reads = QList<QPair<qint64, QByteArray>>;

// Hands each read in at its time, waking the machine whenever it asked to be
// before; then runs the clock on until it has decided.
template <class Machine, class Read, class Wake>
void feed(const Reads &reads, Machine &m, Read read, Wake wake)
{
    for (const auto &r : reads + Reads{{reads.last().first + 60000, {}}}) {
        while (m.wakeAt() >= 0 && m.wakeAt() <= r.first)
            wake(m.wakeAt());
        if (!r.second.isEmpty())
            read(r.second, r.first);
    }
}

// How the log ended, and what came before the end but its blank tail.
QByteArray logVerdict(const Reads &reads)
{
    LogCapture log;
    log.start(0);
    QByteArray kept;
    feed(reads, log, [&](const QByteArray &b, qint64 now) {
        if (log.end() == LogCapture::End::None)
            kept += b, log.received(b, now);
    }, [&](qint64 now) { log.wake(now, false); });
    while (kept.endsWith('\0') || kept.endsWith('\t') || kept.endsWith(' ') || kept.endsWith('\r') || kept.endsWith('\n'))
        kept.chop(1);
    return (log.end() == LogCapture::End::Complete ? "complete|" : "incomplete|") + kept;
}

// The wait for a quiet line after the commands, 100 ms apart: how it ended,
// how long after the last byte, and the values read from what came by then.
QByteArray statusVerdict(const QByteArrayList &commands, const Reads &reads)
{
    OwedAnswers owed;
    QuietLine line(owed);
    StatusReader reader;
    qint64 at = 0;
    for (int i = 0; i < commands.size(); ++i)
        owed.wrote(commands[i] + "\r\n", i * Pace::commandGapMs);
    line.begin((commands.size() - 1) * Pace::commandGapMs);
    feed(reads, line, [&](const QByteArray &b, qint64 now) {
        if (line.state() == QuietLine::State::Waiting)
            owed.received(b, now), reader.add(b);
    }, [&](qint64 now) { line.wake(now, false), at = now; });
    return (line.state() == QuietLine::State::Quiet ? "quiet+" : "gave-up+") + QByteArray::number(at - reads.last().first) + '|'
         + statusText(reader.values()).toUtf8();
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
            {"the farewell's prompt at 31", C, true, 2048, "S C A A +10 A31.>", "R B1 B2 E E@10", "failed 2/0"},
            {"the farewell from right after the final ACK", W, false, 1000, "S C A11.> +10 2.>", "R B1 E E@10", "failed 1/0"},
            {"a NAK before the 'C' sends block 0", W, true, 2048, "S N C", "R B0 B1", "running 0/1"},
            {"a 'C' while blocks flow is ignored, a NAK resends", W, true, 2048, "S C C N A", "R B1*2 B2", "running 1/1"},
            {"ten NAKs in a row: no limit in the window", W, true, 2048, "S C N N N N N N N N N N", "R B1*11", "running 0/10"},
            {"ten NAKs in a row: given up", C, true, 2048, "S C N N N N N N N N N N +3000", "R B1*10 X X@3000", "failed 0/10"},
            {"an ACK restarts the NAK count", C, true, 3072, "S C N N N N N N N N N A N N N N N N N N N", "R B1*10 B2*10", "running 1/18"},
            {"CAN, ACK, CAN, ACK: noise", C, true, 2048, "S C X A X A", "R B1 B2 E", "running 2/0"},
            {"the prompt instead of the 'C'", W, true, 2048, "S 3.> +3000", "R X X@3000", "failed 0/0"},
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
            {"the farewell joined to the EOT's ACK", "C A A A#.>", "| done", 2, 32},
            {"the farewell after a pause, text behind it", "C A A A #.>..", "| done", 9, 33},
            {"a farewell refused", "C A A A #.>", "| failed", 10, 34},
            {"the module's cancel", "C A XX", "| module-cancelled", 0, 0},
            {"a lone CAN at a block", "C XA A A#.>", "| done", 3, 32},
            {"a lone prompt at a block: the module told to leave", "C A>", "X X | failed", 0, 0},
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
        QFETCH(QString, end); // the wire's tail and the end
        const auto run = [&](const QByteArray &reads) {
            return runUpload(cli, data, 2048, ("S " + reads.simplified() + " +3100").constData()).remove(QRegularExpression("@\\d+"));
        };
        const QString whole = run(exchange);
        QVERIFY2(whole.contains(' ' + end + ' '), qPrintable(whole));
        const QList<int> pauses = pausesAtConstants();
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
            // Pairs of new cuts only: a cut beside a read's end changes nothing.
            for (int second = at + 1; second < exchange.size() && at > 0 && exchange[at - 1] != ' '; ++second) {
                if (exchange[second] == ' ' || exchange[second - 1] == ' ')
                    continue;
                const QByteArray cut = QByteArray(exchange).insert(second, ' ').insert(at, ' ');
                const QString got = run(cut);
                QVERIFY2(got == whole, qPrintable(cut + ": " + got));
            }
        }
    }

    void logCaptureAndQuietLine()
    {
        // The log's end (log rows) and the wait for a quiet line: how each
        // ended, and when. '_' is a blank in the quiet line's rows.
        const struct { bool log; const char *script, *end; } rows[] = {
            {true, "log\r\n> +1000", "complete@300"},
            {true, "> +1000", "complete@300"},               // the prompt as the dump's first byte
            {true, "a>b +20000", "incomplete@15000"},        // a '>' inside the text (at a line's end: the sweeps)
            {true, "\r\n> +100 b +20000", "incomplete@15100"}, // text after the prompt
            {true, "log\r +100 \n> +100 \r +100 \n +1000", "complete@600"}, // line ends split, blanks after the prompt
            {true, "\n> +300* +1000", "complete@600"},       // bytes the driver holds
            {true, "+20000", "incomplete@15000"},
            {false, "+1000", "quiet@300"},
            {false, "+250 a +1000", "quiet@550"},
            {false, "+250 a +250 a +250 a +250 a +250 a +250 a +250 a +1000", "gave-up@2000"},
            {false, "+300* +1000", "quiet@600"}, // bytes not yet read count as arriving
            {false, "!MOD +5000", "quiet@2300"}, // never answered: given up on, then the quiet
            {false, "!KEY_1 !MT +100 MT:_3\r\n +1000", "quiet@400"}, // KEY 1 owes nothing
            {false, "!VER_FULL +100 Firmware_Vers:_1\r\nPL_Vers:_2\r\n +3000", "quiet@2300"}, // its last line missing
            {false, "!dac !DACINFO +100 DAC:_1\r\n +3000", "quiet@2300"}, // one answer for two commands
            {false, "!MOD +2100 MOD:_ON\r\n +250 a +250 a +250 a +250 a +250 a +250 a +250 a +250 a +1000", "gave-up@4000"},
        };
        for (const auto &r : rows) {
            LogCapture log;
            OwedAnswers owed;
            QuietLine line(owed);
            log.start(0);
            line.begin(0);
            qint64 endedAt = -1;
            const auto read = [&](QByteArray word, qint64 now) {
                if (r.log)
                    return log.received(word, now);
                word.replace('_', ' ');
                word.startsWith('!') ? owed.wrote(word.mid(1) + "\r\n", now) : owed.received(word, now);
            };
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

    // The same module bytes cut at every byte (at every two bytes when short),
    // paused at each cut below, at and above every time the programs wait
    // for: the same verdict, but where the module's own silence is meant to
    // decide (a pause the log's limit long; answers ending the answer limit
    // after the first command).
    void sweep_data()
    {
        QTest::addColumn<QByteArray>("commands"); // "log": the dump; else written 100 ms apart
        QTest::addColumn<int>("delay");           // from the dump's request or the last command
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("verdict");  // of the bytes in one read
        const QByteArray none = "temperature -, firmware -, fpga -, waveform -";
        QTest::newRow("log, lines ending in '>'") << QByteArray("log") << 0 << QByteArray("a\r\nb <ok>\r\n>") << QByteArray("complete|a\r\nb <ok>\r\n>");
        QTest::newRow("log, NUL, TAB and blanks after the prompt") << QByteArray("log") << 0 << QByteArray("a>\r\n>\0\t \r\n", 10) << QByteArray("complete|a>\r\n>");
        QTest::newRow("log without its prompt") << QByteArray("log") << 100 << QByteArray("a\r\nb>\r\nc<ok>") << QByteArray("incomplete|a\r\nb>\r\nc<ok>");
        QTest::newRow("one answer") << QByteArray("MOD") << 0 << QByteArray("MOD: OFF\r\n") << "quiet+300|output OFF, alarm -, dac -, " + none;
        QTest::newRow("the poll answered 400 ms late") << QByteArray("key 3,MOD,ast,dac") << 400 << QByteArray("MOD: ON\r\nAST: TEMP>60C\r\nDAC: 12.5\r\n")
                                                       << "quiet+300|output ON, alarm TEMP>60C, dac 12.5, " + none;
        QTest::newRow("status") << QByteArray("key 3,MOD,ast,dac,MT,VER FULL,KEY 1,DACINFO") << 0
                                << QByteArray("MOD: OFF\r\nAST: 0\r\nDAC: 12.5\r\nMT: 36.5\r\nFirmware Vers: FW 2\r\nPL Vers: PL 1\r\nSN: W-A1\r\nDAC: 12.5\r\n")
                                << QByteArray("quiet+300|output OFF, alarm 0, dac 12.5, temperature 36.5, firmware FW 2, fpga PL 1, waveform W-A1");
    }
    void sweep()
    {
        QFETCH(QByteArray, commands);
        QFETCH(int, delay);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, verdict);
        const bool log = commands == "log";
        const auto run = [&](const Reads &reads) { return log ? logVerdict(reads) : statusVerdict(commands.split(','), reads); };
        const qint64 at = (log ? 0 : commands.count(',') * Pace::commandGapMs) + delay;
        QCOMPARE(run({{at, bytes}}), verdict);
        const QList<int> pauses = QList<int>{0} + pausesAtConstants();
        const int n = bytes.size();
        for (int i = 1; i < n; ++i) {
            for (int j = i; j < (n <= 16 ? n : i + 1); ++j) { // j == i: one cut
                for (const int pause : pauses) {
                    Reads reads;
                    qint64 t = at;
                    int from = 0;
                    for (const int cut : {i, j, n}) {
                        if (cut > from)
                            reads << qMakePair(t, bytes.mid(from, cut - from)), t += pause, from = cut;
                    }
                    if (log ? pause >= LogRules::giveUpSilenceMs : reads.last().first >= QuietLine::limitMs)
                        continue;
                    const QByteArray got = run(reads);
                    QVERIFY2(got == verdict, qPrintable(QString("cut at %1, %2, paused %3 ms: %4").arg(i).arg(j).arg(pause).arg(QString(got))));
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestMachines)
#include "tst_machines.moc"
