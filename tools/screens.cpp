// Drives the tool against a running module-sim and saves
// pictures of the main window, the settings window and the upgrade windows
// after an upload, for a person to look at. Usage: screens DEVICE OUTDIR
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "mainwindow/highdpi.h"
#include "modalhandler.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: screens DEVICE OUTDIR\n");
        return 2;
    }
    const QString device = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    ModalHandler dialogs;
    DUDaze window;
    window.show();
    QTest::qWait(300);
    window.grab().save(out.filePath("main-closed.png"));

    window.findChild<QAction *>("chuankou")->trigger();
    auto *settings = window.findChild<QMainWindow *>("chuan");
    QTest::qWait(300);
    settings->grab().save(out.filePath("settings.png"));
    settings->close();

    portNameSetting = device;
    baudRateSetting = 115200;
    dataBitsSetting = 8;
    stopBitsSetting = 1;
    paritySetting = 0;
    QTest::mouseClick(window.findChild<QPushButton *>("DAKAI"), Qt::LeftButton);
    if (!serialPort->isOpen()) {
        std::fprintf(stderr, "screens: could not open %s\n", qPrintable(device));
        return 1;
    }
    QTest::qWait(2500); // one status poll
    QTest::mouseClick(window.findChild<QPushButton *>("single"), Qt::LeftButton);
    window.findChild<QLineEdit *>("DAC_SET")->setText("20");
    window.findChild<QLineEdit *>("TIME")->setText("3");
    QTest::qWait(2500); // the next poll after the query
    window.grab().save(out.filePath("main-polling.png"));

    // A firmware and a waveform data upload through the password prompt, and
    // the module's log, each as an operator would run them.
    QTemporaryDir files;
    QFile image(files.filePath("image.bin"));
    image.open(QIODevice::WriteOnly);
    for (int i = 0; i < 40 * 1024; ++i)
        image.putChar(char(i * 7));
    image.close();
    const struct { const char *menu, *window, *open, *send, *shot; } uploads[] = {
        {"shengji", "sheng", "openfile", "sendfile", "upgrade-firmware.png"},
        {"fs", "FS", "open", "send", "upgrade-data.png"},
    };
    for (const auto &u : uploads) {
        window.findChild<QAction *>(u.menu)->trigger();
        QMainWindow *prompt = window.findChildren<QMainWindow *>("mima").last();
        QTest::keyClicks(prompt->findChild<QLineEdit *>("mi"), accessPassword);
        QTest::mouseClick(prompt->findChild<QPushButton *>("que"), Qt::LeftButton);
        auto *upgrade = prompt->findChild<QMainWindow *>(u.window);
        dialogs.filesToChoose << image.fileName();
        QTest::mouseClick(upgrade->findChild<QPushButton *>(u.open), Qt::LeftButton);
        const int before = dialogs.boxes.size();
        QTest::mouseClick(upgrade->findChild<QPushButton *>(u.send), Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return dialogs.boxes.size() > before; }, 60000))
            std::fprintf(stderr, "screens: the %s upload did not end\n", u.window);
        QTest::qWait(300);
        upgrade->grab().save(out.filePath(u.shot));
        upgrade->close();
    }
    dialogs.filesToChoose << files.filePath("module.log");
    QFile(files.filePath("module.log")).open(QIODevice::WriteOnly);
    const int before = dialogs.boxes.size();
    window.findChild<QAction *>("rizhi")->trigger();
    if (!QTest::qWaitFor([&] { return dialogs.boxes.size() > before; }, 60000))
        std::fprintf(stderr, "screens: the log download did not end\n");
    QFile log(files.filePath("module.log"));
    log.open(QIODevice::ReadOnly);
    std::printf("screens: log saved, %lld bytes\n", log.size());

    for (const ModalHandler::Box &box : dialogs.boxes)
        std::printf("screens: box %s / %s\n", qPrintable(box.title), qPrintable(box.text));
    std::printf("screens: saved main-closed.png, settings.png, main-polling.png, upgrade-firmware.png, "
                "upgrade-data.png in %s\n", qPrintable(out.path()));
    return 0;
}
