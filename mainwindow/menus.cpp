#include "dudaze.h"

#include "globals.h"
#include "settings/chuan.h"

void DUDaze::chuan_MENU()
{
    auto *settings = new chuan(this);
    settings->show();
}

// The password prompt that leads to the upgrade windows is not built yet;
// the menu entries only record which upgrade was asked for.
void DUDaze::sheng_MENU()
{
    upgradeTarget = 1;
}

void DUDaze::fs_MENU()
{
    upgradeTarget = 2;
}
