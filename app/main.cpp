#include <QApplication>

#include "mainwindow/dudaze.h"
#include "mainwindow/highdpi.h"

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    DUDaze window;
    window.show();
    return app.exec();
}
