#include "modulesim.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char STX = 0x02;
const char SOH = 0x01;
const char EOT = 0x04;
const char ACK = 0x06;
const char NAK = 0x15;
const char CAN = 0x18;

// CRC-16/XMODEM, bit by bit: kept apart from the tool's table-driven code so
// that a mistake in one cannot hide in the other.
quint16 crc16(const QByteArray &data)
{
    quint16 crc = 0;
    for (char c : data) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

// What the module prints after the final EOT, behind its ACK: a line of text
// with its prompt '>' at the given index.
QByteArray promptLine(int promptPos)
{
    const QByteArray text = "\r\nreceived ";
    QByteArray out;
    for (int i = 0; i < promptPos; ++i)
        out += i < text.size() ? text.at(i) : '.';
    return out + '>';
}

} // namespace

ModuleSim::ModuleSim(QObject *parent)
    : QObject(parent)
    , m_pacer(new QTimer(this))
    , m_requestTimer(new QTimer(this))
    , m_blockTimer(new QTimer(this))
    , m_laterTimer(new QTimer(this))
{
    // So that uploadEnded can be queued and watched by a signal spy.
    qRegisterMetaType<ModuleSim::Target>();
    m_clock.start();
    // At up to 10000 baud every turn carries one byte at most, as a UART
    // sends them; above, the bytes due within a millisecond go together.
    m_pacer->setTimerType(Qt::PreciseTimer);
    m_pacer->setInterval(1);
    connect(m_pacer, &QTimer::timeout, this, &ModuleSim::pace);
    m_requestTimer->setTimerType(Qt::PreciseTimer);
    m_requestTimer->setInterval(3000);
    connect(m_requestTimer, &QTimer::timeout, this, [this] {
        if (m_requests >= m_requestCount) {
            endReceive(false, "\r\n>");
        } else {
            ++m_requests;
            write("C");
        }
    });
    // A block that stops halfway, or noise where a block should start, is
    // answered with NAK once the line has been quiet for a second.
    m_blockTimer->setSingleShot(true);
    m_blockTimer->setInterval(1000);
    connect(m_blockTimer, &QTimer::timeout, this, [this] {
        m_block.clear();
        ++m_naks;
        write(QByteArray(1, NAK));
    });
    m_laterTimer->setSingleShot(true);
    m_laterTimer->setTimerType(Qt::PreciseTimer);
    connect(m_laterTimer, &QTimer::timeout, this, &ModuleSim::runDueReplies);
    openLine();
}

bool ModuleSim::openLine()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128] = {};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
            || ::ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(::strerror(errno));
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
        return false;
    }
    ++m_opening;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_path = QString::fromLocal8Bit(name);
    // Holding the slave open keeps the master from reading as hung up while
    // the tool has the port closed; raw mode keeps the line free of echo.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio;
    if (m_slave >= 0 && ::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ModuleSim::onReadable);
    return true;
}

ModuleSim::~ModuleSim()
{
    hangUp();
}

bool ModuleSim::isOpen() const { return m_master >= 0; }
QString ModuleSim::devicePath() const { return m_path; }
QString ModuleSim::errorString() const { return m_error; }

void ModuleSim::setBaud(int baud) { m_baud = qMax(0, baud); }

namespace {

int speedOf(int master)
{
    static const struct { speed_t code; int baud; } speeds[] = {
        {B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    termios tio;
    // On the master, the slave's settings: what the tool (or a server in front) asked for.
    if (::tcgetattr(master, &tio) != 0)
        return 0;
    for (const auto &s : speeds)
        if (s.code == ::cfgetospeed(&tio))
            return s.baud;
    return 0;
}

} // namespace
void ModuleSim::nakNextBlocks(int count) { m_nakNext = qMax(0, count); }
void ModuleSim::cancelAtBlock(int number) { m_cancelAt = qMax(0, number); }
void ModuleSim::setSilent(bool silent) { m_silent = silent; }
void ModuleSim::setRawAnswer(const QByteArray &answer) { m_rawAnswer = answer; }
void ModuleSim::setPromptPos(int position) { m_promptPos = position; }
void ModuleSim::setPromptDelay(int ms) { m_promptDelay = qMax(0, ms); }
void ModuleSim::setGreeting(const QByteArray &bytes) { m_greeting = bytes; }
void ModuleSim::setRequestInterval(int ms) { m_requestTimer->setInterval(qMax(1, ms)); }
void ModuleSim::setRequestCount(int count) { m_requestCount = qMax(1, count); }
void ModuleSim::scriptAnswer(int blockNumberSeen, const QByteArray &bytes) { m_scripts.insert(blockNumberSeen, bytes); }
void ModuleSim::setIgnoreCancel(bool ignore) { m_ignoreCancel = ignore; }
void ModuleSim::setLogPrompt(bool prompt) { m_logPrompt = prompt; }
void ModuleSim::setLogPromptInPieces(bool marks) { m_logMarks = marks; }
void ModuleSim::setReplyDelay(int ms) { m_replyDelay = qMax(0, ms); }
void ModuleSim::setStray(char byte, int block)
{
    m_strayByte = byte;
    m_strayAt = qMax(0, block);
}
void ModuleSim::send(const QByteArray &bytes) { write(bytes); }
void ModuleSim::sendNoise(const QByteArray &bytes) { put(bytes); }

void ModuleSim::hangUp()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_pacer->stop();
    m_requestTimer->stop();
    m_blockTimer->stop();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_later.clear();
    m_laterTimer->stop();
    m_dumping = m_dumpQueued = false;
    removeLink();
}

bool ModuleSim::reopen()
{
    if (isOpen()) {
        m_error = QStringLiteral("the line is still open");
        return false;
    }
    if (m_receiving)
        endReceive(false, QByteArray());
    // Nothing meant for the old line reaches the new one.
    m_inQueue = Pending();
    m_outQueue = Pending();
    m_inBudget = m_outBudget = 0;
    m_line.clear();
    return openLine() && placeLink();
}

bool ModuleSim::setLink(const QString &path)
{
    removeLink();
    m_link = path;
    return placeLink();
}

QString ModuleSim::linkPath() const { return m_link; }

// Points the link at the device by renaming a fresh symlink over it, so that
// the path never dangles while the tool may look; a file of another kind at
// the path is left alone.
bool ModuleSim::placeLink()
{
    if (m_link.isEmpty() || m_master < 0)
        return true;
    const QByteArray link = QFile::encodeName(m_link);
    struct stat st;
    if (::lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        m_error = QStringLiteral("%1 exists and is not a symlink").arg(m_link);
        return false;
    }
    const QByteArray fresh = link + ".new" + QByteArray::number(qint64(::getpid()));
    ::unlink(fresh.constData());
    if (::symlink(QFile::encodeName(m_path).constData(), fresh.constData()) != 0
            || ::rename(fresh.constData(), link.constData()) != 0) {
        m_error = QStringLiteral("cannot make the link %1: %2").arg(m_link, QString::fromLocal8Bit(::strerror(errno)));
        ::unlink(fresh.constData());
        return false;
    }
    return true;
}

// Removes the link only while it still points at this module's device.
void ModuleSim::removeLink()
{
    if (m_link.isEmpty())
        return;
    const QByteArray link = QFile::encodeName(m_link);
    char target[4096];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target);
    if (n > 0 && QByteArray(target, int(n)) == QFile::encodeName(m_path))
        ::unlink(link.constData());
}

QList<ModuleSim::Received> ModuleSim::transcript() const { return m_transcript; }
QList<ModuleSim::Command> ModuleSim::commands() const { return m_commands; }

QByteArray ModuleSim::received() const
{
    QByteArray all;
    for (const Received &r : m_transcript)
        all += r.bytes;
    return all;
}

void ModuleSim::clearTranscript()
{
    m_transcript.clear();
    m_commands.clear();
}

QByteArray ModuleSim::upload(Target target) const { return m_uploads[int(target)]; }
bool ModuleSim::inTransfer() const { return m_receiving; }
int ModuleSim::blocksAccepted() const { return m_blocksAccepted; }
int ModuleSim::naksSent() const { return m_naks; }
ModuleSim::UploadEnd ModuleSim::lastUpload() const { return m_lastUpload; }
void ModuleSim::toolClosedLine()
{
    // A dump and the answers still due go on, as they do on a real module;
    // what the tool writes after a new open is no intrusion into that dump.
    m_dumpOrphaned = m_dumping;
    ++m_toolCloses;
    if (m_receiving && m_ignoreCancel)
        endReceive(false, QByteArray());
}

QByteArrayList ModuleSim::intrusions() const
{
    return m_intrusions;
}

QByteArray ModuleSim::logSent() const { return m_logSent; }
int ModuleSim::logDumpEnd() const { return m_logDumpEnd; }

qint64 ModuleSim::now() const { return m_clock.elapsed(); }

void ModuleSim::onReadable()
{
    char buf[4096];
    const ssize_t n = ::read(m_master, buf, sizeof buf);
    if (n <= 0) {
        // Without a slave open the master reads as hung up; wait for one.
        if (n < 0 && errno == EAGAIN)
            return;
        m_notifier->setEnabled(false);
        QTimer::singleShot(50, this, [this] { if (m_notifier) m_notifier->setEnabled(true); });
        return;
    }
    const QByteArray bytes(buf, int(n));
    m_transcript.append({now(), bytes});
    m_lineSpeed = speedOf(m_master);
    if (m_baud == 0 && m_inQueue.isEmpty()) {
        for (char c : bytes)
            process(c);
    } else {
        m_inQueue.append(bytes);
        if (!m_pacer->isActive()) {
            m_lastPace = now();
            m_pacer->start();
        }
    }
}

void ModuleSim::pace()
{
    const qint64 t = now();
    const double bytesPerMs = m_baud / 10.0 / 1000.0;
    const double earned = (t - m_lastPace) * bytesPerMs;
    m_lastPace = t;

    // Without pacing (the baud set to 0 meanwhile) what is queued goes at once.
    m_inBudget = m_inQueue.isEmpty() ? 0 : m_baud == 0 ? m_inQueue.size() : m_inBudget + earned;
    const int inCount = qMin(m_inQueue.size(), int(m_inBudget));
    if (inCount > 0) {
        const QByteArray take(m_inQueue.data(), inCount);
        m_inQueue.drop(inCount);
        m_inBudget -= inCount;
        for (char c : take)
            process(c);
    }

    if (m_baud == 0) {
        flushOut(m_outQueue.size());
    } else {
        m_outBudget = m_outQueue.isEmpty() ? 0 : m_outBudget + earned;
        const int outCount = qMin(m_outQueue.size(), int(m_outBudget));
        if (outCount > 0) {
            // Budget spent while the line is full is not carried over, so the
            // pace never runs above the baud rate.
            m_outBudget -= outCount;
            flushOut(outCount);
        }
    }
    if (m_inQueue.isEmpty() && m_outQueue.isEmpty())
        m_pacer->stop();
}

void ModuleSim::write(const QByteArray &bytes)
{
    if (!m_silent)
        put(bytes);
    else if (m_dumpQueued && m_outQueue.isEmpty())
        m_dumping = m_dumpQueued = false; // a dump into silence is over once handed out
}

void ModuleSim::put(const QByteArray &bytes)
{
    if (m_master < 0 || bytes.isEmpty())
        return;
    const bool wasEmpty = m_outQueue.isEmpty();
    m_outQueue.append(bytes);
    if (m_baud == 0 && wasEmpty) {
        flushOut(m_outQueue.size());
        if (m_outQueue.isEmpty())
            return;
    }
    if (!m_pacer->isActive()) {
        m_lastPace = now();
        m_pacer->start();
    }
}

// Writes up to count bytes from the front of the queue; what the line's full
// buffer does not take stays queued for the pacer's next turn.
void ModuleSim::flushOut(int count)
{
    while (count > 0 && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_outQueue.data(), size_t(count));
        if (n > 0) {
            if (m_logRecording)
                m_logSent.append(m_outQueue.data(), int(n));
            m_outQueue.drop(int(n));
            count -= int(n);
            if (m_dumpQueued && m_outQueue.isEmpty()) {
                m_dumping = m_dumpQueued = false;
                m_logDumpEnd = m_logSent.size();
            }
        } else if (!(n < 0 && errno == EINTR)) {
            return;
        }
    }
}

void ModuleSim::Pending::append(const QByteArray &more)
{
    if (isEmpty()) {
        bytes = more;
        head = 0;
    } else {
        bytes += more;
    }
}

void ModuleSim::Pending::drop(int count)
{
    head += count;
    if (head >= bytes.size()) {
        bytes.clear();
        head = 0;
    } else if (head >= 65536 && head * 2 >= bytes.size()) {
        // Reclaim the sent front now and then; each byte is moved at most once
        // on average.
        bytes.remove(0, head);
        head = 0;
    }
}

void ModuleSim::process(char byte)
{
    if (m_receiving) {
        receiveByte(byte);
        return;
    }
    if (byte == '\n') {
        QByteArray line = m_line;
        m_line.clear();
        if (line.endsWith('\r'))
            line.chop(1);
        handleLine(line);
    } else if (byte == '\r' || quint8(byte) >= 0x20) {
        m_line += byte;
    }
}

void ModuleSim::handleLine(const QByteArray &line)
{
    m_commands.append({now(), line});
    if (m_dumping && !m_dumpOrphaned)
        m_intrusions << "during the log dump: " + line;
    else if (m_dumping && !m_silent && line == "dump logtext") // a quiet line told the tool otherwise
        m_intrusions << "a log asked for while an older dump still goes out";
    emit commandReceived(line);
    if (line.isEmpty())
        return;
    if (!m_rawAnswer.isEmpty()) {
        reply(m_rawAnswer);
        return;
    }
    if (line == "MT") {
        reply("MT: " + temperature + "\r\n");
    } else if (line == "VER FULL") {
        reply("Firmware Vers: " + firmwareVersion + "\r\nPL Vers: " + fpgaVersion
              + "\r\nSN: " + waveformName + "\r\n");
    } else if (line == "DACINFO" || line == "dac") {
        reply("DAC: " + dac + "\r\n");
    } else if (line == "MOD") {
        reply(outputOn ? "MOD: ON\r\n" : "MOD: OFF\r\n");
    } else if (line == "MOD ON" || line == "MOD OFF") {
        outputOn = line == "MOD ON";
    } else if (line == "ast") {
        reply("AST: " + alarm + "\r\n");
    } else if (line.startsWith("DAC ")) {
        dac = line.mid(4).trimmed();
    } else if (line == "RECV FW") {
        startReceive(Target::Firmware);
    } else if (line == "RECV DATA") {
        startReceive(Target::Data);
    } else if (line == "dump logtext") {
        // What the tool may take for log: all that goes out from now on,
        // also noise before the first piece.
        m_logRecording = true;
        m_logSent.clear();
        m_logDumpEnd = -1;
        replyWith([this, closes = m_toolCloses] { sendLog(closes != m_toolCloses); });
    } else if (line == "KEY 1" || line == "key 3" || line == "boot" || line == "LOADDAC") {
        // Accepted without an answer.
    } else {
        reply("Unknown command\r\n");
    }
}

void ModuleSim::sendLog(bool orphaned)
{
    m_dumping = true;
    m_dumpOrphaned = orphaned;
    m_dumpQueued = false;
    const QByteArray prompt = m_logPrompt ? QByteArray(">") : QByteArray();
    const QByteArray mark = m_logMarks ? QByteArray("->") : QByteArray();
    if (logPieceBytes <= 0 && logLineGapMs < 0) {
        m_dumpQueued = true;
        write(logText + mark + prompt);
        return;
    }
    // The pieces as sent, the prompt as a piece of its own.
    QByteArrayList pieces;
    const bool byLine = logLineGapMs >= 0;
    const int body = m_logMarks ? qMax(1, logPieceBytes - mark.size()) : logPieceBytes;
    for (int i = 0, next = 0; i < logText.size(); i = next) {
        next = byLine ? logText.indexOf('\n', i) + 1 : i + body;
        if (next <= 0)
            next = logText.size();
        pieces << logText.mid(i, next - i) + mark;
    }
    if (!prompt.isEmpty())
        pieces << prompt;

    // One timer per dump hands out the pieces: piece k is due k gaps after the
    // start and the prompt one gap after the last piece; a late turn sends all
    // that is due. A timer per piece would not do: Qt makes timers of 2 s and
    // more coarse, and a long log would come out in the wrong order.
    auto *timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(true);
    const int gap = qMax(0, byLine ? logLineGapMs : logGapMs);
    const int count = pieces.size();
    const qint64 start = now();
    connect(timer, &QTimer::timeout, this,
            [this, timer, pieces, gap, count, start, opening = m_opening, sent = 0]() mutable {
        if (opening != m_opening) { // the line hung up meanwhile
            timer->deleteLater();
            return;
        }
        const qint64 elapsed = now() - start;
        const int due = gap > 0 ? int(qMin<qint64>(count, elapsed / gap + 1)) : count;
        m_dumpQueued = due >= count;
        for (; sent < due; ++sent)
            write(pieces.at(sent));
        if (sent >= count)
            timer->deleteLater();
        else
            timer->start(int(qMax<qint64>(0, qint64(sent) * gap - elapsed)));
    });
    timer->start(0);
}

void ModuleSim::startReceive(Target target)
{
    m_receiving = true;
    m_target = target;
    m_uploads[int(target)].clear();
    m_block.clear();
    m_expected = 1;
    m_blocksSeen = 0;
    m_blocksAccepted = 0;
    m_naks = 0;
    m_cans = 0;
    m_requests = 1; // the greeting takes the place of the first 'C'
    replyWith([this, receive = ++m_receiveCount] {
        // The requests start with the greeting, unless the receive ended or
        // its first block began to arrive before the greeting went out.
        if (!m_receiving || receive != m_receiveCount)
            return;
        write(m_greeting);
        if (m_blocksSeen == 0 && m_block.isEmpty())
            m_requestTimer->start();
    });
}

// Answers to command lines go out through here, held back by the reply delay
// and kept in order.
void ModuleSim::reply(const QByteArray &bytes)
{
    replyWith([this, bytes] { write(bytes); });
}

void ModuleSim::replyWith(std::function<void()> action)
{
    if (m_replyDelay == 0 && m_later.isEmpty()) {
        action();
        return;
    }
    const qint64 due = qMax(now() + m_replyDelay, m_later.isEmpty() ? 0 : m_later.constLast().due);
    m_later.append({due, std::move(action)});
    if (!m_laterTimer->isActive())
        m_laterTimer->start(int(qMax<qint64>(0, m_later.constFirst().due - now())));
}

void ModuleSim::runDueReplies()
{
    while (!m_later.isEmpty() && m_later.constFirst().due <= now()) {
        const std::function<void()> action = m_later.takeFirst().action;
        action();
    }
    if (!m_later.isEmpty())
        m_laterTimer->start(int(qMax<qint64>(0, m_later.constFirst().due - now())));
}

void ModuleSim::receiveByte(char byte)
{
    if (m_block.isEmpty()) {
        if (byte == CAN) {
            if (missCancels > 0) {
                if (++m_cans >= 5) {
                    --missCancels;
                    m_cans = 0;
                }
                return;
            }
            if (++m_cans >= 2)
                endReceive(false, m_ignoreCancel ? QByteArray() : QByteArray("\r\n>"));
            return;
        }
        m_cans = 0;
        if (byte == EOT) {
            const int pos = m_promptPos >= 0 ? m_promptPos : (m_target == Target::Firmware ? 3 : 33);
            if (m_promptDelay == 0) {
                endReceive(true, QByteArray(1, ACK) + promptLine(qMax(0, pos - 1)));
            } else {
                endReceive(true, QByteArray(1, ACK));
                const QByteArray line = promptLine(qMax(0, pos));
                QTimer::singleShot(m_promptDelay, Qt::PreciseTimer, this, [this, line, opening = m_opening] {
                    if (opening == m_opening)
                        write(line);
                });
            }
            return;
        }
        if (byte != STX && byte != SOH) {
            m_intrusions << "during the upload: " + QByteArray(1, byte).toHex();
            m_blockTimer->start();
            return;
        }
        m_requestTimer->stop();
        m_blockSize = byte == STX ? 3 + 1024 + 2 : 3 + 128 + 2;
    }
    m_block += byte;
    m_blockTimer->start();
    if (m_block.size() == m_blockSize)
        finishBlock();
}

void ModuleSim::finishBlock()
{
    m_blockTimer->stop();
    const QByteArray block = m_block;
    m_block.clear();
    ++m_blocksSeen;

    // The module's own answer to the frame and whether it ends the receive.
    QByteArray own;
    bool ends = false;
    const QByteArray data = block.mid(3, block.size() - 5);
    const quint8 number = quint8(block.at(1));
    const quint8 complement = quint8(block.at(2));
    const quint16 crc = quint16(quint8(block.at(block.size() - 2)) << 8 | quint8(block.at(block.size() - 1)));
    if (m_cancelAt > 0 && m_blocksSeen == m_cancelAt) {
        m_cancelAt = 0;
        own = QByteArray(2, CAN);
        ends = true;
    } else if (m_nakNext > 0 || quint8(number ^ complement) != 0xFF || crc16(data) != crc) {
        if (m_nakNext > 0)
            --m_nakNext;
        own = QByteArray(1, NAK);
    } else if (number == m_expected) {
        m_uploads[int(m_target)] += data;
        ++m_expected;
        ++m_blocksAccepted;
        own = QByteArray(1, ACK);
    } else if (number == quint8(m_expected - 1)) {
        own = QByteArray(1, ACK); // our ACK was lost: the sender repeated the block
    } else {
        own = QByteArray(2, CAN); // out of sequence: the transfer cannot be trusted
        ends = true;
    }

    // A scripted answer replaces only the bytes written: what the module does
    // next still follows from the frame itself.
    const bool scripted = m_scripts.contains(m_blocksSeen);
    const QByteArray answer = scripted ? m_scripts.take(m_blocksSeen) : own;
    if (!scripted && own.at(0) == NAK)
        ++m_naks;
    if (m_strayAt > 0 && m_blocksSeen == m_strayAt) {
        m_strayAt = 0;
        write(QByteArray(1, m_strayByte));
    }
    if (ends)
        endReceive(false, answer);
    else
        write(answer);
}

void ModuleSim::endReceive(bool complete, const QByteArray &farewellBytes)
{
    m_receiving = false;
    m_requestTimer->stop();
    m_blockTimer->stop();
    m_block.clear();
    m_lastUpload = {true, m_target, complete, m_blocksAccepted};
    write(farewellBytes);
    emit uploadEnded(m_target, complete);
}
