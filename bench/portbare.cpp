// The floor for dudaze-cli's memory: a bare QCoreApplication that opens the
// same port and ends.
#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QSerialPort port(app.arguments().value(1));
    if (!port.open(QIODevice::ReadWrite))
        return 1;
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
