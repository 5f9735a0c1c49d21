#ifndef SIMFIXTURE_H
#define SIMFIXTURE_H

#include "mainwindow/dudaze.h"
#include "modalhandler.h"
#include "modulesim.h"

#include <QByteArrayList>
#include <QString>

// A main window beside an in-process module simulator whose device path is
// saved as the port setting. Tears down in the order the process would:
// window, then port, then the module.
class SimFixture
{
public:
    explicit SimFixture(bool saveSettings = true);
    ~SimFixture();

    // Presses "连接" and waits until the connect sequence has written its
    // commands and returned.
    bool connectLink();
    // Connects, lets the connect's own "MOD:" answer be shown, stops polling
    // and clears the transcript, so that only what a test sends reaches the
    // window and only what the test causes reaches the module.
    bool connectQuietly();
    void click(const char *button);
    // The shown text of a status box, line edit or button.
    QString text(const char *name) const;
    // TEMP, FW, PL, DATA, mosta, DAC_Value, mosta_module, GOorSTOP.
    QStringList view() const;

    template <class T>
    T *widget(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }

    // Command lines received by the module since the last clear.
    QByteArrayList lines() const;
    // Whether the module saw second at least ms after the first occurrence of first. The module stamps
    // a line when it reads it, and on a loaded machine it may read the first one
    // a few milliseconds late, which shortens the gap it measures.
    bool spacedAtLeast(const QByteArray &first, const QByteArray &second, int ms) const;

    ModuleSim sim;
    ModalHandler dialogs;
    DUDaze *window = nullptr;
};

// Leaves the application-wide state as a fresh process has it.
void resetGlobals();

#endif
