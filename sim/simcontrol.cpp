#include "simcontrol.h"

#include "modulesim.h"

#include <climits>
#include <functional>

namespace {

using Words = QList<QByteArray>;

QByteArray fail(const QByteArray &why) { return "error " + why; }

// A command name as it may be echoed in an answer: one printable line.
QByteArray shown(const QByteArray &word)
{
    QByteArray out = word.left(40);
    for (char &c : out) {
        if (quint8(c) < 0x20 || quint8(c) >= 0x7F)
            c = '?';
    }
    return out;
}

QByteArray setNumber(const QByteArray &name, const Words &args, int least, int most,
                     const std::function<void(int)> &set)
{
    bool ok = false;
    const int value = args.size() == 1 ? args.at(0).toInt(&ok) : 0;
    if (!ok || value < least || value > most)
        return fail(name + " needs one whole number from " + QByteArray::number(least) + " to "
                    + QByteArray::number(most));
    set(value);
    return "ok";
}

QByteArray setSwitch(const QByteArray &name, const Words &args, const std::function<void(bool)> &set)
{
    if (args.size() != 1 || (args.at(0) != "on" && args.at(0) != "off"))
        return fail(name + " needs on or off");
    set(args.at(0) == "on");
    return "ok";
}

// Hex digits in pairs, nothing else: QByteArray::fromHex alone would skip
// stray characters and send something other than what was asked.
bool fromHex(const QByteArray &hex, QByteArray *bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    for (char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    *bytes = QByteArray::fromHex(hex);
    return true;
}

QByteArray okHex(const QByteArray &bytes) { return "ok " + bytes.toHex(); }

template<typename Entry, typename Bytes>
QByteArray timedList(const QList<Entry> &entries, Bytes bytesOf)
{
    QByteArray out = "ok " + QByteArray::number(entries.size());
    for (const Entry &e : entries)
        out += '\n' + QByteArray::number(e.ms) + ' ' + bytesOf(e).toHex();
    return out;
}

} // namespace

SimControl::SimControl(ModuleSim &sim)
    : m_sim(sim)
{
}

QByteArray SimControl::execute(const QByteArray &line)
{
    const Words words = line.simplified().split(' ');
    const QByteArray name = words.constFirst();
    const Words args = words.mid(1);
    ModuleSim &sim = m_sim;

    if (name.isEmpty())
        return fail("empty command");

    // Faults and settings.
    if (name == "nak")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.nakNextBlocks(n); });
    if (name == "cancel-at")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.cancelAtBlock(n); });
    if (name == "silent")
        return setSwitch(name, args, [&](bool on) { sim.setSilent(on); });
    if (name == "prompt-pos")
        return setNumber(name, args, -1, 65536, [&](int n) { sim.setPromptPos(n); });
    if (name == "prompt-delay")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.setPromptDelay(n); });
    if (name == "log-prompt-piece")
        return setSwitch(name, args, [&](bool on) { sim.setLogPromptInPieces(on); });
    if (name == "log-piece")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.logPieceBytes = n; });
    if (name == "log-gap")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.logGapMs = n; });
    if (name == "log-lines")
        return setNumber(name, args, -1, INT_MAX, [&](int n) { sim.logLineGapMs = n; });
    if (name == "stray") {
        QByteArray byte;
        bool ok = false;
        const int block = args.size() == 2 ? args.at(1).toInt(&ok) : 0;
        if (!ok || block < 0 || !fromHex(args.at(0), &byte) || byte.size() != 1)
            return fail("stray needs one byte as two hex digits and a block from 0 (none) up");
        sim.setStray(byte.at(0), block);
        return "ok";
    }
    if (name == "log-prompt")
        return setSwitch(name, args, [&](bool on) { sim.setLogPrompt(on); });
    if (name == "miss-cancel")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.missCancels = n; });
    if (name == "ignore-cancel")
        return setSwitch(name, args, [&](bool on) { sim.setIgnoreCancel(on); });
    if (name == "baud")
        return setNumber(name, args, 0, 10000000, [&](int n) { sim.setBaud(n); });
    if (name == "reply-delay")
        return setNumber(name, args, 0, INT_MAX, [&](int n) { sim.setReplyDelay(n); });
    if (name == "request-interval")
        return setNumber(name, args, 1, INT_MAX, [&](int n) { sim.setRequestInterval(n); });
    if (name == "request-count")
        return setNumber(name, args, 1, INT_MAX, [&](int n) { sim.setRequestCount(n); });
    if (name == "alarm") {
        sim.alarm = args.join(' '); // the rest of the line, blanks included
        return "ok";
    }
    if (name == "log-text") {
        QByteArray text;
        if (args.size() > 1 || (args.size() == 1 && !fromHex(args.at(0), &text)))
            return fail("log-text needs the text as hex digits in pairs (none: empty log)");
        sim.logText = text;
        return "ok";
    }

    // The line.
    if (name == "garbage") {
        QByteArray bytes;
        if (args.size() != 1 || !fromHex(args.at(0), &bytes))
            return fail("garbage needs the bytes as hex digits in pairs");
        if (!sim.isOpen())
            return fail("the line is hung up");
        sim.sendNoise(bytes);
        return "ok";
    }
    if (name == "hangup" || name == "reopen" || name == "device" || name == "clear"
            || name == "last-upload" || name == "log-sent" || name == "transcript"
            || name == "commands" || name == "in-transfer" || name == "intrusions" || name == "line-speed") {
        if (!args.isEmpty())
            return fail(name + " takes no argument");
    }
    if (name == "hangup") {
        sim.hangUp();
        return "ok";
    }
    if (name == "reopen") {
        if (!sim.reopen())
            return fail(sim.errorString().simplified().toUtf8());
        return "ok";
    }
    if (name == "line-speed")
        return "ok " + QByteArray::number(sim.lineSpeed());
    if (name == "device")
        return sim.isOpen() ? "ok " + sim.devicePath().toUtf8() : fail("the line is hung up");

    // What the module holds.
    if (name == "stored") {
        if (args.size() != 1 || (args.at(0) != "fw" && args.at(0) != "data"))
            return fail("stored needs fw or data");
        return okHex(sim.upload(args.at(0) == "fw" ? ModuleSim::Target::Firmware : ModuleSim::Target::Data));
    }
    if (name == "last-upload") {
        const ModuleSim::UploadEnd end = sim.lastUpload();
        if (!end.ended)
            return "ok none 0 0";
        return QByteArray("ok ") + (end.target == ModuleSim::Target::Firmware ? "fw" : "data")
                + (end.complete ? " 1 " : " 0 ") + QByteArray::number(end.blocksAccepted);
    }
    if (name == "log-sent")
        return okHex(sim.logSent());
    if (name == "transcript")
        return timedList(sim.transcript(), [](const ModuleSim::Received &r) { return r.bytes; });
    if (name == "commands")
        return timedList(sim.commands(), [](const ModuleSim::Command &c) { return c.line; });
    if (name == "clear") {
        sim.clearTranscript();
        return "ok";
    }
    if (name == "in-transfer")
        return sim.inTransfer() ? "ok 1" : "ok 0";
    if (name == "intrusions") { // what reached the module inside a transfer without being part of it
        QByteArray out = "ok " + QByteArray::number(sim.intrusions().size());
        for (const QByteArray &what : sim.intrusions())
            out += '\n' + shown(what);
        return out;
    }

    return fail("unknown command " + shown(name));
}
