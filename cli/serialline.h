#ifndef CLI_SERIALLINE_H
#define CLI_SERIALLINE_H

#include "line.h"

#include <QSerialPort>

// A local serial port (a device path, a link, a usb: id), held for this
// program alone while open.
class SerialLine : public Line
{
    Q_OBJECT
public:
    explicit SerialLine(const QString &given);

    void open(const LineSettings &settings) override;
    bool isOpen() const override { return m_port.isOpen(); }
    void write(const QByteArray &bytes) override { m_port.write(bytes); }
    QByteArray readAll() override { return m_port.readAll(); }
    bool bytesWaiting() const override;
    qint64 bytesToWrite() const override { return m_port.bytesToWrite(); }
    void close() override { m_port.close(); }

private:
    void onError(QSerialPort::SerialPortError error);

    QString m_given;
    QSerialPort m_port;
};

#endif
