#include "uploadtransfer.h"

#include "mainwindow/globals.h"
#include "protocol/commands.h"
#include "protocol/xmodem.h"

#include <QMessageBox>
#include <QSerialPort>

UploadTransfer::UploadTransfer(QWidget *main, const UploadKind &kind, const QByteArray &data)
    : QObject(main)
    , m_main(main)
    , m_kind(kind)
    , m_machine(kind.target, data, UploadSettings::window())
    , m_wake([this] {
        m_machine.wake(m_wake.now(), transferLine->bytesWaiting());
        drive();
    })
    , m_size(int(data.size()))
{
}

void UploadTransfer::start()
{
    m_started = true;
    recvMode = m_kind.mode;
    m_machine.start(m_wake.now());
    drive();
}

void UploadTransfer::received(const QByteArray &read)
{
    m_machine.received(read, m_wake.now());
    drive();
}

void UploadTransfer::cancel()
{
    m_machine.cancel(m_wake.now());
    // Before the request nothing goes out: the quiet wait ends the upload.
    if (m_started)
        drive();
}

bool UploadTransfer::left()
{
    // Behind its end box the box's return deletes it; after 断开's cancel, this.
    if (m_ending) {
        if (m_leaving)
            deleteLater();
        return false;
    }
    const bool receiving = m_machine.running();
    m_ending = true;
    m_machine.lineLost();
    m_wake.stop();
    deleteLater();
    return receiving;
}

bool UploadTransfer::leave()
{
    if (m_ending || !m_machine.running())
        return false;
    // Its cancel procedure, the prompt awaited and the cancel repeated
    // without it; one already under way (取消 just before) is awaited.
    m_leaving = true;
    if (!m_machine.cancelling()) {
        m_machine.cancel(m_wake.now());
        drive();
    }
    return !m_ending;
}

void UploadTransfer::notStarted()
{
    m_machine.cancel(m_wake.now());
    finish();
}

// Writes what the machine says, in order, while the line is still the
// upload's; shows its progress; wakes it when it asks; ends it once.
void UploadTransfer::drive()
{
    if (m_ending)
        return;
    if (!serialPort->isOpen() || transferLine->transfer() != this) {
        left();
        return;
    }
    for (const QByteArray &bytes : m_machine.takeWrites()) {
        if (bytes.startsWith(Xmodem::STX)) {
            m_blocks << bytes;
            transferLine->announceBlocks(); // the main window's block sender writes it
        } else {
            transferLine->write(bytes);
        }
    }
    for (const UploadMachine::Event event : m_machine.takeEvents()) {
        if (event == UploadMachine::Event::Started)
            m_flowing = true;
        // The bar follows each block taken but the last, by the block now on its way.
        if (event == UploadMachine::Event::BlockTaken && m_machine.bytesTaken() < m_size) {
            const double percent = (m_machine.blocksTaken() + 1) * 1024.0 / m_size * 100;
            if (percent < 100)
                emit progress(int(percent));
        }
    }
    m_wake.wakeAt(m_machine.wakeAt());
    if (m_machine.ended())
        return finish();
    // The block on its way, or the last one sent; after a cancel the window
    // has started over.
    if (m_flowing && !m_machine.cancelling())
        emit sending(qMin(m_machine.blocksTaken() + 1, m_machine.blockTotal()));
}

void UploadTransfer::finish()
{
    m_ending = true;
    m_wake.stop();
    if (m_leaving) { // the link closes next and says so; the line is not given back
        if (m_machine.end() == UploadMachine::End::ModuleCancelled)
            emit moduleCancelled();
        return;
    }
    switch (m_machine.end()) {
    case UploadMachine::End::Lost:
        break;
    case UploadMachine::End::Done:
        emit progress(100);
        end("OK", "更新完成", m_machine.loadDue() ? Cmd::loadAfterData() : QByteArrayList());
        break;
    case UploadMachine::End::ModuleCancelled:
        emit moduleCancelled();
        end("提示", "停止更新");
        break;
    default:
        end("OK", m_kind.failureText);
        break;
    }
    deleteLater();
}

void UploadTransfer::end(const char *title, const char *text, const QByteArrayList &followUp)
{
    const quint64 epoch = transferLine->epoch();
    QMessageBox::information(m_main, QString::fromUtf8(title), QString::fromUtf8(text), QMessageBox::Ok);
    transferLine->giveBack(epoch, followUp);
}
