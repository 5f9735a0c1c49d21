// Drives the tool against a running module-sim and saves
// pictures of the main window and the settings window, for a person to look
// at. Usage: screens DEVICE OUTDIR
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "modalhandler.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
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

    for (const ModalHandler::Box &box : dialogs.boxes)
        std::printf("screens: box %s / %s\n", qPrintable(box.title), qPrintable(box.text));
    std::printf("screens: saved main-closed.png, settings.png, main-polling.png in %s\n", qPrintable(out.path()));
    return 0;
}
