#ifndef LOGDOWNLOAD_H
#define LOGDOWNLOAD_H

#include <QString>

// Path of the log file of the newest download.
extern QString logFilePath;

#endif
