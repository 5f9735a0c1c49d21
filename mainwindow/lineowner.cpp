#include "lineowner.h"

#include "globals.h"
#include "line/lineprobe.h"
#include "protocol/pacing.h"
#include "protocol/quietline.h"

#include <QSerialPort>

TransferLine::TransferLine(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
}

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
    m_owed.clear();
    m_owner = LineOwner::None;
    m_transfer = nullptr;
    ++m_epoch;
}

void TransferLine::write(const QByteArray &bytes)
{
    m_owed.wrote(bytes, m_clock.elapsed());
    serialPort->write(bytes);
}

bool TransferLine::bytesWaiting() const
{
    return m_gathering || ::bytesWaiting(*serialPort, serialPort->handle());
}

QByteArray TransferLine::fetch()
{
    const QByteArray bytes = serialPort->readAll();
    m_owed.received(bytes, m_clock.elapsed());
    return bytes;
}

bool TransferLine::waitQuiet(const std::function<bool()> &stillWanted)
{
    const quint64 epoch = m_epoch;
    QuietLine line(m_owed);
    line.begin(m_clock.elapsed());
    for (;;) {
        delayMs(20);
        if (epoch != m_epoch || !serialPort->isOpen() || !stillWanted())
            return false;
        // This wait may run inside a dispatch's gathering wait, which cannot
        // hand on what came meanwhile before it returns: hand it on here.
        if (m_gathering && serialPort->bytesAvailable() > 0 && dispatchNested)
            dispatchNested(fetch());
        line.wake(m_clock.elapsed(), ::bytesWaiting(*serialPort, serialPort->handle()));
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
        write(command);
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
