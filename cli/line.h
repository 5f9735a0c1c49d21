#ifndef CLI_LINE_H
#define CLI_LINE_H

#include <QObject>

#include <memory>

struct LineSettings;

// The link to one module as a session sees it: a local serial port or a
// serial port behind a server on the network. Opening may take a while
// (a connection, the line settings agreed); it ends in opened() or failed().
class Line : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Line() override = default;

    virtual void open(const LineSettings &settings) = 0;
    virtual bool isOpen() const = 0;
    virtual void write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Module bytes waiting: received and not yet read, or still held by the system.
    virtual bool bytesWaiting() const = 0;
    // Bytes not yet handed to the system.
    virtual qint64 bytesToWrite() const = 0;
    virtual void close() = 0;

signals:
    void opened();
    void failed(const QString &why);
    void readyRead();
    void bytesWritten();
    // The link went away while open; nothing more reaches the module.
    void lost(const QString &why);
};

// The line for a port as given: socket:// and rfc2217:// addresses reach a
// server on the network, anything else is a local serial port.
std::unique_ptr<Line> makeLine(const QString &given);

#endif
