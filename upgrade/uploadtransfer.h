#ifndef UPLOADTRANSFER_H
#define UPLOADTRANSFER_H

#include "upload.h"
#include "mainwindow/lineowner.h"
#include "protocol/uploadmachine.h"

#include "line/machinetimer.h"

#include <QObject>

// One running upload of the window: its machine, its file and its wake
// timer. The machine decides; this only writes what it says, wakes it when
// it asks, tells its events to the window that started it and shows its end box.
class UploadTransfer : public QObject, public LineTransfer
{
    Q_OBJECT
public:
    // main: the parent of its boxes.
    UploadTransfer(QWidget *main, const UploadKind &kind, const QByteArray &data);

    // The module may be in receive mode: the request is out and no end has come.
    bool reachedModule() const { return m_machine.running(); }
    bool waiting() const { return !m_started && !m_machine.ended(); }
    // The module has been told to leave receive mode and its answer is awaited.
    bool cancelling() const { return m_machine.cancelling(); }
    bool ended() const { return m_machine.ended(); }
    // File bytes the module has not acknowledged yet.
    int bytesLeft() const { return m_size - m_machine.bytesTaken(); }

    // Once the line is quiet: the request goes out.
    void start();
    // The line did not go quiet, or 取消 came first: nothing went out.
    void notStarted();
    // The operator's 取消 (or closing the window); before start() it only
    // stops the upload from starting.
    void cancel();

    void received(const QByteArray &read) override;
    bool left() override;
    bool leave() override;
    bool flowing() const override { return m_flowing; }
    QByteArrayList takeBlocks() override { return std::exchange(m_blocks, {}); }

signals:
    void progress(int percent);
    // The kilobyte on its way, counted from 1.
    void sending(int kilobyte);
    // Before its box: the module cancelled, the window starts over.
    void moduleCancelled();

private:
    void drive();
    void finish();
    // Its box, then the line back to polling with the follow-up commands.
    void end(const char *title, const char *text, const QByteArrayList &followUp = {});

    QWidget *m_main;
    const UploadKind &m_kind;
    UploadMachine m_machine;
    MachineTimer m_wake;
    QByteArrayList m_blocks;
    const int m_size;
    bool m_started = false;
    bool m_flowing = false; // the module's 'C' has come
    bool m_ending = false;  // ended in the tool: nothing more is written
    bool m_leaving = false; // 断开 waits for the cancel: no box, the link's close deletes it
};

#endif
