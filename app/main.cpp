#include <QApplication>

#include "mainwindow/dudaze.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DUDaze window;
    window.show();
    return app.exec();
}
