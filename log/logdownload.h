#ifndef LOGDOWNLOAD_H
#define LOGDOWNLOAD_H

#include <QString>

// Path of the log file of the newest download.
extern QString logFilePath;
// From the start of a log download until the module's prompt ends it or the
// link goes down.
extern bool logDownloadRunning;

#endif
