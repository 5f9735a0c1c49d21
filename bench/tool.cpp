// Drives the tool's main window against a running module-sim, as an operator
// would, and prints the figures of one run as "name value" lines.
//   bench-tool upload DEVICE BAUD FILE     firmware upload of FILE
//   bench-tool log DEVICE BAUD SAVEFILE    log download into SAVEFILE
//   bench-tool poll DEVICE BAUD SECONDS    connected and polling
// Waits run the event loop (delayMs, QEventLoop), never sleep, so that the
// tool reacts to the line as it would on its own.
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "modalhandler.h"
#include "watcher.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

void click(QObject *parent, const char *name)
{
    parent->findChild<QPushButton *>(QString::fromLatin1(name))->click();
}

bool connectTo(DUDaze &window, const QString &device, int baud)
{
    portNameSetting = device;
    baudRateSetting = baud;
    dataBitsSetting = 8;
    stopBitsSetting = 1;
    paritySetting = 0;
    click(&window, "DAKAI");
    // The answers to the connect's commands are shown before anything is measured.
    delayMs(300);
    return serialPort->isOpen();
}

// Runs the event loop until the watcher has seen count boxes or limitMs has passed.
bool waitForBoxes(Watcher &watcher, int count, int limitMs)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &Watcher::boxShown, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    while (watcher.boxes.size() < count && limit.isActive())
        loop.exec();
    return watcher.boxes.size() >= count;
}

void print(const char *name, double value)
{
    std::printf("%s %.6f\n", name, value);
}

void printSpan(const Watcher::Stamp &from, const Watcher::Stamp &to)
{
    print("ms", to.ms - from.ms);
    print("cpu_s", to.cpu - from.cpu);
    std::printf("box %s\n", qPrintable(to.text));
}

int upload(DUDaze &window, Watcher &watcher, const QString &file)
{
    window.findChild<QAction *>("shengji")->trigger();
    QMainWindow *prompt = window.findChildren<QMainWindow *>("mima").last();
    prompt->findChild<QLineEdit *>("mi")->setText(accessPassword);
    click(prompt, "que");
    auto *upgrade = prompt->findChild<QMainWindow *>("sheng");
    if (!upgrade)
        return 1;
    {
        ModalHandler files;
        files.filesToChoose << file;
        click(upgrade, "openfile");
    }
    delayMs(200);
    const int before = watcher.boxes.size();
    const Watcher::Stamp start = watcher.now();
    click(upgrade, "sendfile");
    if (!waitForBoxes(watcher, before + 1, 900000))
        return 1;
    printSpan(start, watcher.boxes.at(before));
    return 0;
}

int logDownload(DUDaze &window, Watcher &watcher, const QString &saveFile)
{
    const int before = watcher.boxes.size();
    {
        ModalHandler files;
        files.filesToChoose << saveFile;
        // Returns once the file is chosen and "dump logtext" is written.
        window.findChild<QAction *>("rizhi")->trigger();
    }
    if (watcher.fileDialogsClosed.isEmpty() || !waitForBoxes(watcher, before + 1, 900000))
        return 1;
    printSpan(watcher.fileDialogsClosed.last(), watcher.boxes.at(before));
    return 0;
}

int poll(DUDaze &window, Watcher &watcher, int seconds)
{
    delayMs(1000);
    const Watcher::Stamp start = watcher.now();
    delayMs(seconds * 1000);
    const Watcher::Stamp end = watcher.now();
    print("ms", end.ms - start.ms);
    print("cpu_s", end.cpu - start.cpu);
    // Shown only if the polls were answered.
    std::printf("dac %s\n", qPrintable(window.findChild<QLineEdit *>("DAC_Value")->text()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench-tool upload|log|poll DEVICE BAUD FILE|SAVEFILE|SECONDS\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString last = QString::fromLocal8Bit(argv[4]);
    Watcher watcher;
    auto window = std::make_unique<DUDaze>();
    window->show();
    if (!connectTo(*window, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]).toInt())) {
        std::fprintf(stderr, "bench-tool: could not open %s\n", argv[2]);
        return 1;
    }
    int rc = 2;
    if (mode == QLatin1String("upload"))
        rc = upload(*window, watcher, last);
    else if (mode == QLatin1String("log"))
        rc = logDownload(*window, watcher, last);
    else if (mode == QLatin1String("poll"))
        rc = poll(*window, watcher, last.toInt());
    if (rc == 1)
        std::fprintf(stderr, "bench-tool: %s did not finish\n", argv[1]);
    std::fflush(stdout);
    return rc;
}
