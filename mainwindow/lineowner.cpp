#include "dudaze.h"

#include "globals.h"
#include "line/lineprobe.h"
#include "protocol/quietline.h"

#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

void DUDaze::claimLine(LineOwner transfer)
{
    owner = transfer;
    ++lineEpoch;
    pollTimer->stop();
    setLinkControlsEnabled(false);
}

void DUDaze::releaseLine()
{
    owner = LineOwner::None;
    ++lineEpoch;
    if (serialPort->isOpen())
        setLinkControlsEnabled(true);
}

bool DUDaze::lineFreeSince(quint64 epoch) const
{
    return epoch == lineEpoch && owner == LineOwner::None && serialPort->isOpen();
}

void DUDaze::runSequence(const QByteArrayList &commands, int gapMs, bool waitAfterLast)
{
    const quint64 epoch = lineEpoch;
    for (int i = 0; i < commands.size(); ++i) {
        if (!lineFreeSince(epoch))
            return;
        serialPort->write(commands[i]);
        if (i + 1 < commands.size() || waitAfterLast)
            delayMs(gapMs);
    }
}

bool DUDaze::finishTransfer(const QString &title, const QString &text, const QByteArrayList &followUp)
{
    const quint64 epoch = lineEpoch;
    QMessageBox::information(this, title, text, QMessageBox::Ok);
    // Closing the link while the box was up has already ended the transfer.
    auto stillHeld = [&] { return epoch == lineEpoch && serialPort->isOpen(); };
    if (!stillHeld())
        return false;
    recvMode = 4;
    for (const QByteArray &command : followUp) {
        serialPort->write(command);
        delayMs(20);
        if (!stillHeld())
            return false;
    }
    resumePolling();
    releaseLine();
    return true;
}

bool DUDaze::waitForQuietLine(const std::function<bool()> &stillWanted)
{
    const quint64 epoch = lineEpoch;
    QElapsedTimer clock;
    clock.start();
    QuietLine line;
    line.begin(0);
    for (;;) {
        delayMs(20);
        if (epoch != lineEpoch || !serialPort->isOpen() || !stillWanted())
            return false;
        // This wait may run inside a dispatch's gathering wait, which cannot
        // hand on what came meanwhile before it returns: hand it on here.
        if (dispatching && serialPort->bytesAvailable() > 0)
            dispatch(fetchLine());
        const qint64 now = clock.elapsed();
        line.arrived(qMax<qint64>(0, now - lastArrival.elapsed()));
        line.wake(now, serialPort->bytesAvailable() > 0 || bytesOnLine(serialPort->handle()) > 0);
        if (line.state() != QuietLine::State::Waiting)
            return line.state() == QuietLine::State::Quiet;
    }
}
