#include "lineowner.h"

#include "globals.h"
#include "line/lineprobe.h"
#include "protocol/pacing.h"
#include "protocol/quietline.h"

#include <QSerialPort>

bool TransferLine::freeSince(quint64 epoch) const
{
    return epoch == m_epoch && m_owner == LineOwner::None && serialPort->isOpen();
}

void TransferLine::take(LineOwner owner, LineTransfer *transfer)
{
    m_owner = owner;
    m_transfer = transfer;
    ++m_epoch;
    emit taken();
}

void TransferLine::reset()
{
    m_owner = LineOwner::None;
    m_transfer = nullptr;
    ++m_epoch;
}

QByteArray TransferLine::fetch()
{
    const QByteArray bytes = serialPort->readAll();
    if (!bytes.isEmpty())
        m_lastArrival.start();
    return bytes;
}

bool TransferLine::waitQuiet(const std::function<bool()> &stillWanted)
{
    const quint64 epoch = m_epoch;
    QElapsedTimer clock;
    clock.start();
    QuietLine line;
    line.begin(0);
    for (;;) {
        delayMs(20);
        if (epoch != m_epoch || !serialPort->isOpen() || !stillWanted())
            return false;
        // This wait may run inside a dispatch's gathering wait, which cannot
        // hand on what came meanwhile before it returns: hand it on here.
        if (m_gathering && serialPort->bytesAvailable() > 0 && dispatchNested)
            dispatchNested(fetch());
        const qint64 now = clock.elapsed();
        if (m_lastArrival.isValid())
            line.arrived(qMax<qint64>(0, now - m_lastArrival.elapsed()));
        line.wake(now, serialPort->bytesAvailable() > 0 || bytesOnLine(serialPort->handle()) > 0);
        if (line.state() != QuietLine::State::Waiting)
            return line.state() == QuietLine::State::Quiet;
    }
}

bool TransferLine::giveBack(quint64 epoch, const QByteArrayList &followUp)
{
    // Closing the link while the box was up has already ended the transfer.
    auto stillHeld = [&] { return epoch == m_epoch && serialPort->isOpen(); };
    if (!stillHeld())
        return false;
    recvMode = 4;
    for (const QByteArray &command : followUp) {
        serialPort->write(command);
        delayMs(Pace::loadGapMs);
        if (!stillHeld())
            return false;
    }
    m_owner = LineOwner::None;
    m_transfer = nullptr;
    ++m_epoch;
    emit released();
    return true;
}
