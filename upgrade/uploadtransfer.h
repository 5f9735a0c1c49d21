#ifndef UPLOADTRANSFER_H
#define UPLOADTRANSFER_H

#include "upload.h"
#include "mainwindow/lineowner.h"
#include "protocol/uploadmachine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

// One running upload of the window: its machine, its file, its wake timer
// and the upgrade window it shows itself in. The machine decides; this only
// writes what it says, wakes it when it asks, and shows what happened.
class UploadTransfer : public QObject, public LineTransfer
{
public:
    // main: the parent of its boxes.
    UploadTransfer(QWidget *main, const UploadKind &kind, const UploadView &view, const QByteArray &data);

    const UploadKind &kind() const { return m_kind; }
    QWidget *window() const { return m_window; }
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
    bool flowing() const override { return m_flowing; }
    QByteArrayList takeBlocks() override { return std::exchange(m_blocks, {}); }

private:
    void drive();
    void finish();
    // Its box, then the line back to polling with the follow-up commands.
    void end(const QString &title, const QString &text, const QByteArrayList &followUp = {});

    QWidget *m_main;
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
