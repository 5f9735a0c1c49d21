#ifndef UPLOADTRANSFER_H
#define UPLOADTRANSFER_H

#include "upload.h"
#include "protocol/uploadmachine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class DUDaze;

// One running upload of the window: its machine, its file, its wake timer
// and the upgrade window it shows itself in. The machine decides; this only
// writes what it says, wakes it when it asks, and shows what happened.
class UploadTransfer : public QObject
{
public:
    UploadTransfer(DUDaze *main, const UploadKind &kind, const UploadView &view, const QByteArray &data);

    const UploadKind &kind() const { return m_kind; }
    QWidget *window() const { return m_window; }
    // The module may be in receive mode: the request is out and no end has come.
    bool reachedModule() const { return m_machine.running(); }
    bool waiting() const { return !m_started && !m_machine.ended(); }

    // Once the line is quiet: the request goes out.
    void start();
    void received(const QByteArray &read);
    // The operator's 取消 (or closing the window); before start() it only
    // stops the upload from starting.
    void cancel();
    // The line is gone or given up: the upload ends in the tool, nothing more
    // is written by it.
    void lineGone();
    // The blocks the machine has written since the last call, for sendOnce.
    QByteArrayList takeBlocks() { return std::exchange(m_blocks, {}); }
    // The module has been told to leave receive mode and its answer is awaited.
    bool cancelling() const { return m_machine.cancelling(); }
    bool ended() const { return m_machine.ended(); }
    // The module's 'C' has started the block flow.
    bool flowing() const { return m_flowing; }
    // File bytes the module has not acknowledged yet.
    int bytesLeft() const { return m_size - m_machine.bytesTaken(); }

private:
    void drive();
    void finish();

    DUDaze *m_main;
    const UploadKind &m_kind;
    UploadView m_view;
    QPointer<QWidget> m_window;
    UploadMachine m_machine;
    QTimer m_wake;
    QElapsedTimer m_clock;
    QByteArrayList m_blocks;
    const int m_size;
    bool m_started = false;
    bool m_flowing = false; // the module's 'C' has come
    bool m_ending = false;  // ended in the tool: nothing more is written
};

#endif
