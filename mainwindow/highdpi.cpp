#include "highdpi.h"

#include <QCoreApplication>

void enableHighDpiScaling()
{
    // Qt 6 always scales; Qt 5 draws one device pixel per pixel unless asked.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}
