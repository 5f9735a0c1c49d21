#include "dudaze.h"

#include "globals.h"
#include "settings/chuan.h"
#include "log/logdownload.h"
#include "upgrade/mima.h"

void DUDaze::chuan_MENU()
{
    auto *settings = new chuan(this);
    settings->show();
}

// The prompt reads upgradeTarget only when its button is pressed, so setting
// it after show() is soon enough.
void DUDaze::sheng_MENU()
{
    auto *prompt = new mima(this);
    prompt->show();
    upgradeTarget = 1;
}

void DUDaze::fs_MENU()
{
    auto *prompt = new mima(this);
    prompt->show();
    upgradeTarget = 2;
}

void DUDaze::rizhi_MENU()
{
    startLogDownload(this);
}
