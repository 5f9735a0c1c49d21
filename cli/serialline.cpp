#include "serialline.h"

#include "invocation.h"
#include "line/lineprobe.h"
#include "ports.h"

SerialLine::SerialLine(const QString &given)
    : m_given(given)
{
    connect(&m_port, &QSerialPort::readyRead, this, &Line::readyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &Line::bytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLine::onError);
}

void SerialLine::open(const LineSettings &line)
{
    QString path, why;
    if (!resolvePort(m_given, &path, &why))
        return emit failed(why);
    if (const QString holder = deviceHolder(path); !holder.isEmpty())
        return emit failed("busy: " + holder);
    m_port.setPortName(path);
    m_port.setBaudRate(line.baud);
    m_port.setDataBits(line.dataBits);
    m_port.setStopBits(line.stopBits);
    m_port.setParity(line.parity);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        QString message = "cannot open " + path + ": " + m_port.errorString();
        if (m_port.error() == QSerialPort::PermissionError)
            message += " (busy in another program, or your user is not in the dialout group:"
                       " sudo usermod -aG dialout \"$USER\", then log in again)";
        return emit failed(message);
    }
    if (!holdDevice(m_port.handle())) {
        m_port.close();
        return emit failed("busy: another program holds " + path);
    }
    // The line settings apply once open; a speed the adapter refuses is no line.
    if (m_port.baudRate() != line.baud) {
        m_port.close();
        return emit failed(path + " does not take " + QString::number(line.baud) + " baud");
    }
    emit opened();
}

bool SerialLine::bytesWaiting() const
{
    return ::bytesWaiting(m_port, m_port.handle());
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    // Open failures are told by open(); this is the line going away under us.
    // A hung-up line shows as a read error that repeats while the port is open.
    const bool gone = error == QSerialPort::ResourceError
        || (error == QSerialPort::ReadError && lineHungUp(m_port.handle()));
    if (gone && m_port.isOpen())
        emit lost("the port " + m_port.portName() + " was lost (unplugged, or the line hung up)");
}
