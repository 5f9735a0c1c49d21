#include "highdpi.h"

#include <QGuiApplication>

void enableHighDpiScaling()
{
    // Qt 6 always scales, by the screen's own factor; Qt 5 draws one device
    // pixel per pixel unless asked, and rounds 1.5 up to 2 unless told to
    // pass the factor through, which pushes the lower rows off a 150 % screen.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
#endif
}
