#ifndef LINEOWNER_H
#define LINEOWNER_H

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QObject>

#include "protocol/owedanswers.h"

#include <functional>

// The transfer that holds the serial line. While one does, only its own bytes
// go on the line: the main window's command sequences write nothing, polling
// is stopped and the link controls stay locked until it ends.
enum class LineOwner { None, FirmwareUpload, DataUpload, LogDownload };

// A running transfer as the receive dispatch sees it while it holds the line.
class LineTransfer
{
public:
    virtual ~LineTransfer() = default;
    // One read of the module, cut by the dispatch.
    virtual void received(const QByteArray &read) = 0;
    // The link closes under it (断开, the line lost, the tool quits): it ends
    // in the tool at once and writes nothing more. True when the module may
    // still be receiving and must be told to leave receive mode.
    virtual bool left() = 0;
    // 断开 comes while the module may be receiving: it is told to leave
    // receive mode as 取消 tells it, without the end box. True while that is
    // still under way; the link waits for it before it closes.
    virtual bool leave() { return false; }
    // The module's 'C' has started a block flow.
    virtual bool flowing() const { return false; }
    // Blocks it has ready for the main window's block sender.
    virtual QByteArrayList takeBlocks() { return {}; }
};

// Who holds the serial line, and the waits every holder shares: the one
// place that the main window's sequences, the uploads and the log download
// all ask (the application-wide transferLine).
class TransferLine : public QObject
{
    Q_OBJECT
public:
    explicit TransferLine(QObject *parent = nullptr);

    LineOwner owner() const { return m_owner; }
    LineTransfer *transfer() const { return m_transfer; }
    // Changes whenever the line is opened, closed, taken or given back, so
    // that whoever waited can tell whether the line is still as it left it.
    quint64 epoch() const { return m_epoch; }
    // The line is open and free, and has not changed since epoch.
    bool freeSince(quint64 epoch) const;

    void take(LineOwner owner, LineTransfer *transfer);
    // The link opened or closed: whatever held the line has ended with it.
    void reset();

    // Every command goes out through here, so that the line's ledger knows
    // what the module owes.
    void write(const QByteArray &bytes);
    // What the port holds; every byte fetched, wherever, is the module's
    // newest arrival and may answer what is owed, so that no wait takes a
    // busy line for quiet.
    QByteArray fetch();
    // The port has bytes it has not handed on yet.
    void arrived() { m_owed.heard(m_clock.elapsed()); }
    // A read is being gathered: bytes have come that no handler has seen yet.
    bool gathering() const { return m_gathering; }
    // The module's bytes wait for their dispatch: gathered, in the port, or
    // still in the system (the loop may run late). No silence is judged then.
    bool bytesWaiting() const;
    void setGathering(bool on) { m_gathering = on; }
    // How a read gathered inside a wait reaches its handler.
    std::function<void(const QByteArray &)> dispatchNested;

    // Waits, with the line taken, until the module owes no answer and has
    // been quiet for a while (QuietLine), so that late answers reach the
    // handlers of their own exchanges and no transfer starts on them. False when the line did not go quiet,
    // or when the link went or stillWanted() turned false meanwhile.
    bool waitQuiet(const std::function<bool()> &stillWanted);
    // A transfer's end once its box is closed: if the line is still the one
    // it took at epoch, the follow-up commands 20 ms apart, then the line back
    // to polling. False when the link went meanwhile.
    bool giveBack(quint64 epoch, const QByteArrayList &followUp = {});
    // Blocks a transfer has ready: the main window's block sender writes them.
    void announceBlocks() { emit blocksReady(); }
    // An upgrade window that paused polling has gone, the line free.
    void resumePolling() { emit released(); }

signals:
    void taken();
    void released();
    void blocksReady();

private:
    LineOwner m_owner = LineOwner::None;
    LineTransfer *m_transfer = nullptr;
    quint64 m_epoch = 0;
    bool m_gathering = false;
    QElapsedTimer m_clock; // the ledger's
    OwedAnswers m_owed;
};

#endif
