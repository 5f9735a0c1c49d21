#ifndef MODULESIM_H
#define MODULESIM_H

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;
class QTimer;

// An emulated pulse-stretcher module on a pseudo-terminal. The tool opens
// devicePath() as its serial port; the module answers on the master side from
// the Qt event loop and records every byte it receives.
class ModuleSim : public QObject
{
    Q_OBJECT

public:
    struct Received {
        qint64 ms;          // since the simulator started
        QByteArray bytes;   // one read from the line
    };
    struct Command {
        qint64 ms;          // when its line end arrived
        QByteArray line;    // without CR LF
    };
    enum class Target { Firmware, Data };
    Q_ENUM(Target)
    // How the newest receive that ended went.
    struct UploadEnd {
        bool ended = false;  // false until a receive has ended
        Target target = Target::Firmware;
        bool complete = false;
        int blocksAccepted = 0;
    };

    // What the module reports; each value is sent exactly as held here.
    QByteArray temperature = "36.5";
    QByteArray firmwareVersion = "FW 2.1.0";
    QByteArray fpgaVersion = "PL 1.3";
    QByteArray waveformName = "WAVE-A1";
    QByteArray alarm = "0";
    QByteArray dac = "12.5";
    bool outputOn = false;
    // Log text for "dump logtext"; sent in pieces of logPieceBytes (0: whole)
    // logGapMs apart, then the prompt '>'. With logLineGapMs at 0 or more it
    // goes line by line instead (each up to and including its LF), that long
    // between lines and before the prompt.
    QByteArray logText = "2026-12-01 08:00:00 power on\r\n2026-12-01 08:00:02 self test ok\r\n";
    int logPieceBytes = 0;
    int logGapMs = 50;
    int logLineGapMs = -1;
    // The next cancels (five CAN each, as the tool sends them) lost on the
    // line: the receive goes on.
    int missCancels = 0;

    explicit ModuleSim(QObject *parent = nullptr);
    ~ModuleSim() override;

    bool isOpen() const;
    QString devicePath() const;
    QString errorString() const;

    // Makes path a symlink to the module's device, now and after every
    // reopen(); a hang-up removes it, so that the tool cannot reach a freed
    // pseudo-terminal through it. An empty path drops the link.
    bool setLink(const QString &path);
    QString linkPath() const;
    // A new pseudo-terminal after a hang-up, with the link pointed at it; a
    // receive cut by the hang-up ends there, incomplete.
    bool reopen();

    // Emulated line speed: both directions paced to baud/10 bytes per second;
    // 0 passes bytes at once.
    void setBaud(int baud);
    // The speed the program on the other end had set the pseudo-terminal to
    // (through its termios) when the module last received bytes; 0 before
    // any, or when it is not a standard speed. Taken then, because a program
    // may put the old settings back as it closes the line.
    int lineSpeed() const { return m_lineSpeed; }

    // Faults.
    void nakNextBlocks(int count);       // NAK the next count blocks, good or not
    void cancelAtBlock(int number);      // answer the number-th block (1 = first) with CAN CAN
    void setSilent(bool silent);         // answer nothing at all
    void setRawAnswer(const QByteArray &answer); // answer every command with these bytes; empty: normal
    // Position of the prompt '>' in the bytes sent after the final EOT (the
    // ACK is byte 0); -1 keeps the default: 3 after "RECV FW", 33 after "RECV DATA".
    // With a prompt delay the position counts within the later piece instead.
    void setPromptPos(int position);
    // After the final EOT the ACK goes out at once and the rest of the farewell,
    // ending in '>', ms later as a read of its own; 0 sends both together.
    void setPromptDelay(int ms);
    // CAN CAN from the tool still ends a receive, but the module sends nothing
    // back: no "\r\n>".
    void setIgnoreCancel(bool ignore);
    // "dump logtext" ends with the prompt '>' (default) or without it.
    void setLogPrompt(bool prompt);
    // Every log piece (the whole log when not cut) ends in "->" inside the
    // text the module sends, so that a '>' closing a read is not always the
    // prompt. logSent() holds the text as sent.
    void setLogPromptInPieces(bool marks);
    // Every answer to a command line goes out ms later, in the order of the
    // lines: the status answers, "Unknown command", the greeting of a receive
    // and the log dump. What the command changes changes at once; what the
    // module sends inside a receive (block answers, requests, the farewell)
    // keeps its own time. 0: at once.
    void setReplyDelay(int ms);
    // Noise on the line: byte goes to the tool once, when the block-th block
    // frame since RECV has arrived, before the module's answer to it; the
    // receive goes on as if it had not been sent. 0 disarms.
    void setStray(char byte, int block);

    // Asking for CRC blocks. "RECV FW"/"RECV DATA" is answered at once with the
    // greeting (default "C"), then with a 'C' every interval ms (default 3000)
    // until count requests have gone out, the greeting counted as the first
    // (default 11); one interval after the last one the module gives up with
    // "\r\n>". The requests stop as soon as the first block starts to arrive.
    void setGreeting(const QByteArray &bytes);
    void setRequestInterval(int ms);     // at least 1
    void setRequestCount(int count);     // at least 1

    // The blockNumberSeen-th complete block frame since RECV (1 = the first,
    // repeats and bad frames counted) is answered with bytes instead of what the
    // module would write itself (ACK, NAK, or CAN CAN for a cancel). Only the
    // answer changes: the frame is stored, rejected or repeated by its real
    // validity and the faults above, and the receive ends only where the module
    // itself decides so (EOT, CAN CAN from the tool, cancelAtBlock, a block out
    // of sequence, giving up on requests); CAN among the scripted bytes does
    // not end it. Each script is used once; empty bytes leave the frame
    // unanswered. naksSent() counts only NAKs the module sent as its own answer.
    void scriptAnswer(int blockNumberSeen, const QByteArray &bytes);
    void send(const QByteArray &bytes);  // unsolicited bytes to the tool
    void sendNoise(const QByteArray &bytes); // bytes to the tool even while silent
    void hangUp();                       // close the master: the line hangs up

    QList<Received> transcript() const;
    QByteArray received() const;
    QList<Command> commands() const;
    void clearTranscript();

    QByteArray upload(Target target) const; // bytes kept from accepted blocks, padding included
    bool inTransfer() const;
    int blocksAccepted() const;
    int naksSent() const;
    UploadEnd lastUpload() const;
    // Every byte written to the line since the newest "dump logtext" arrived,
    // and how many of them had gone out when the dump's last byte had (-1
    // while the dump is still going out).
    QByteArray logSent() const;
    int logDumpEnd() const;
    // What reached the module inside a transfer without being part of it:
    // bytes other than block frames, EOT and CAN while it receives an upload,
    // command lines while its log dump is still going out, and a new request
    // for the log while the dump of a tool that has since closed its port
    // still goes out.
    QByteArrayList intrusions() const;
    // The tool has closed its port: a dump still going on here, and the
    // answers still to come, go on into the line as a module's would, but
    // what the tool writes after a new open is no intrusion into that dump.
    // A receive ends only if cancels are ignored (a module gives up on its
    // own after a while); otherwise the tool should have cancelled it.
    void toolClosedLine();

signals:
    void commandReceived(const QByteArray &line);
    void uploadEnded(ModuleSim::Target target, bool complete);

private:
    void onReadable();
    void process(char byte);
    void handleLine(const QByteArray &line);
    void startReceive(Target target);
    void receiveByte(char byte);
    void finishBlock();
    void endReceive(bool complete, const QByteArray &farewell);
    bool openLine();
    bool placeLink();
    void removeLink();
    void reply(const QByteArray &bytes);
    void replyWith(std::function<void()> action);
    void runDueReplies();
    void sendLog(bool orphaned);
    void write(const QByteArray &bytes);
    void put(const QByteArray &bytes);
    void pace();
    void flushOut(int count);
    qint64 now() const;

    // Bytes held back by the pacing; taken from the front without moving the
    // rest, so that a long log drains in small steps at little cost.
    struct Pending {
        QByteArray bytes;
        int head = 0;
        int size() const { return bytes.size() - head; }
        bool isEmpty() const { return head == bytes.size(); }
        const char *data() const { return bytes.constData() + head; }
        void append(const QByteArray &more);
        void drop(int count);
    };

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QString m_link;
    QString m_error;
    int m_opening = 0;                  // counts openings of the line; work left from an older one is dropped
    QSocketNotifier *m_notifier = nullptr;
    QElapsedTimer m_clock;
    QList<Received> m_transcript;
    QList<Command> m_commands;
    QByteArray m_line;

    // Pacing.
    int m_baud = 0;
    int m_lineSpeed = 0;
    QTimer *m_pacer = nullptr;
    Pending m_inQueue;
    Pending m_outQueue;
    qint64 m_lastPace = 0;
    double m_inBudget = 0;
    double m_outBudget = 0;

    // Faults.
    int m_nakNext = 0;
    int m_cancelAt = 0;
    bool m_silent = false;
    QByteArray m_rawAnswer;
    int m_promptPos = -1;
    int m_promptDelay = 0;
    QByteArray m_greeting = "C";
    int m_requestCount = 11;
    QMap<int, QByteArray> m_scripts;    // by frame seen since RECV
    bool m_ignoreCancel = false;
    bool m_logPrompt = true;
    bool m_logMarks = false;
    int m_replyDelay = 0;
    char m_strayByte = 0;
    int m_strayAt = 0;

    // What went out since the newest log dump began, once one has.
    bool m_logRecording = false;
    // From "dump logtext" until its last byte is on the line.
    bool m_dumping = false;
    bool m_dumpQueued = false;
    bool m_dumpOrphaned = false;        // the tool that asked for the dump has closed its port
    int m_toolCloses = 0;               // so that a dump still held back by the reply delay knows it too
    QByteArrayList m_intrusions;
    QByteArray m_logSent;
    int m_logDumpEnd = -1;

    // XMODEM receiver.
    bool m_receiving = false;
    Target m_target = Target::Firmware;
    QByteArray m_block;
    int m_blockSize = 0;
    quint8 m_expected = 1;
    int m_blocksSeen = 0;
    int m_blocksAccepted = 0;
    int m_naks = 0;
    int m_cans = 0;
    int m_requests = 0;
    int m_receiveCount = 0;             // tells a delayed greeting whether its receive still runs
    UploadEnd m_lastUpload;
    QTimer *m_requestTimer = nullptr;
    QTimer *m_blockTimer = nullptr;
    QByteArray m_uploads[2];

    // Answers held back by the reply delay, oldest first.
    struct Later {
        qint64 due;
        std::function<void()> action;
    };
    QList<Later> m_later;
    QTimer *m_laterTimer = nullptr;
};

#endif
