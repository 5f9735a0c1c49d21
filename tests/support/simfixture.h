#ifndef SIMFIXTURE_H
#define SIMFIXTURE_H

#include "mainwindow/dudaze.h"
#include "modalhandler.h"
#include "modulesim.h"

#include <QByteArrayList>
#include <QPushButton>
#include <QString>

// A main window beside an in-process module simulator whose device path is
// saved as the port setting. Tears down in the order the process would:
// window, then port, then the module.
class SimFixture
{
public:
    SimFixture();
    ~SimFixture();

    // Presses "连接", waits until the connect sequence has written its
    // commands and returned and its own "MOD:" answer is shown, then stops
    // polling and clears the transcript, so that only what a test sends
    // reaches the window and only what the test causes reaches the module.
    bool connectQuietly();
    // The tool is closed and started again on the same module, as a new
    // process would be, with the same line settings saved.
    void restartWindow();
    void click(const char *button);
    // Opens the upgrade window of target (1 firmware, 2 waveform data)
    // through the menu and the password prompt; null when it stays shut.
    QMainWindow *openUpgrade(int target, const QString &password = QStringLiteral("QUMBELTA"));
    // "打开文件", "更新" or "取消" (0, 1, 2) of either upgrade window.
    static QPushButton *upgradeButton(QMainWindow *w, int which);
    // Whether the seven link controls are all enabled (or all disabled),
    // with "连接" and "串口设置" usable either way.
    bool linkControlsEnabled(bool enabled = true) const;
    // The shown text of a status box, line edit or button.
    QString text(const char *name) const;
    // The status view as one text: TEMP|FW|PL|DATA|mosta|DAC_Value|mosta_module|GOorSTOP|AUTO.
    QString view() const;
    // The tool's state as one text: recvMode by name (see mode()), pollTimer's
    // interval (-1: stopped), the link controls on, off or mixed: "status 2000 on".
    QString state() const;
    // recvMode by the name tests give it: cycle (0, the automatic cycle),
    // firmware (2), data (3), status (4, polling), log (5), single (6, the
    // single query); any other as its number.
    static int mode(const QString &name);

    template <class T>
    T *widget(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }

    // Command lines received by the module since the last clear.
    QByteArrayList lines() const;
    // Whether the module received each command line at least ms after the one before.
    bool linesSpacedBy(int ms) const;

    ModuleSim sim;
    ModalHandler dialogs;
    DUDaze *window = nullptr;
};

#endif
