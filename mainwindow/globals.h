#ifndef GLOBALS_H
#define GLOBALS_H

#include <QString>

class QSerialPort;
class QTimer;
class TransferLine;

// Application-wide objects shared by every window of the tool.
extern QSerialPort *serialPort;
extern QTimer *pollTimer;
extern int recvMode;
// Who holds the serial line: the main window's sequences and every transfer ask it.
extern TransferLine *transferLine;

// Line settings saved by the serial settings window, applied on the next connect.
extern QString portNameSetting;
extern int baudRateSetting;
extern int dataBitsSetting;
extern int stopBitsSetting;
extern int paritySetting;

extern int upgradeTarget;
extern QString accessPassword;

// Waits at least ms milliseconds with the event loop running (timers, serial
// reads, clicks); blocks in the loop instead of spinning. 0 returns at once.
void delayMs(int ms);

#endif
