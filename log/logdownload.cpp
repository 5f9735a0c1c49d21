#include "logdownload.h"

#include "mainwindow/dudaze.h"

QString logFilePath;
bool logDownloadRunning = false;

// The log download is not built yet: the menu entry starts nothing and a
// chunk read in the log mode is dropped.
void DUDaze::rizhi_MENU()
{
}

void DUDaze::parseLogReply(const QByteArray &)
{
}
