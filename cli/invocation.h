#ifndef CLI_INVOCATION_H
#define CLI_INVOCATION_H

#include <QSerialPort>
#include <QString>
#include <QStringList>

// What the command line asks for, checked before anything is opened.
struct LineSettings {
    qint32 baud = 115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;
};

struct Invocation {
    QString command;        // ports, status, watch, output, dac, upload, log
    QStringList arguments;  // the command's own words
    QStringList ports;      // as given: paths or usb:VID:PID[:SERIAL]
    LineSettings line;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    bool verify = true;
    bool force = false;
    int intervalMs = 2000;
    int count = 0;          // watch: 0 polls on until interrupted
    QString record;         // the upload record; empty with --no-record
};

// Fills inv from argv. Returns -1 to go on, otherwise the exit code (help
// printed: 0; a refusal, with its one line on standard error: 2).
int parseInvocation(const QStringList &argv, Invocation *inv);

#endif
