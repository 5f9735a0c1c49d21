// Start-up time and peak memory of a main window on the offscreen platform.
//   bench-startup-tool DEVICE   the tool's window, then connected to module-sim
//   bench-startup-bare [WxH]    a bare QMainWindow, built the same way: the floor;
//                               resized to W x H, what the window's area alone costs
// Prints "shown_ns N", the monotonic clock when the window's first frame has
// been painted (the launcher holds the process's start on the same clock),
// and "peak_kib N", the peak resident memory once connected and settled.
#include "mainwindow/highdpi.h"
#include "watcher.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#ifdef TOOL_WINDOW
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include <QPushButton>
#include <QSerialPort>
#endif

#include <cstdio>
#include <ctime>

namespace {

long long monotonicNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long peakKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Notes the end of the first paint of the window it watches.
class FirstFrame : public QObject
{
public:
    long long shownNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && shownNs == 0) {
            // The children paint in the same pass; stamp once it is over.
            QTimer::singleShot(0, this, [this] { shownNs = monotonicNs(); });
            watched->removeEventFilter(this);
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    Watcher watcher; // answers the connect's message box
    FirstFrame frame;
#ifdef TOOL_WINDOW
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-startup-tool DEVICE\n");
        return 2;
    }
    DUDaze window;
#else
    QMainWindow window;
    if (argc == 2) {
        const QStringList size = QString::fromLocal8Bit(argv[1]).split(QLatin1Char('x'));
        window.resize(size.value(0).toInt(), size.value(1).toInt());
    }
#endif
    window.installEventFilter(&frame);
    window.show();
    while (frame.shownNs == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("shown_ns %lld\n", frame.shownNs);

#ifdef TOOL_WINDOW
    portNameSetting = QString::fromLocal8Bit(argv[1]);
    baudRateSetting = 115200;
    dataBitsSetting = 8;
    stopBitsSetting = 1;
    paritySetting = 0;
    window.findChild<QPushButton *>(QStringLiteral("DAKAI"))->click();
    if (!serialPort->isOpen()) {
        std::fprintf(stderr, "bench-startup-tool: could not open %s\n", argv[1]);
        return 1;
    }
#endif
    // The connect's answers arrive and are shown; the bare window idles as long.
    QTimer::singleShot(700, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("peak_kib %lld\n", peakKib());
    return 0;
}
