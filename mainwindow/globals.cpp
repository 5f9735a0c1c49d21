#include "globals.h"

#include "protocol/access.h"

QSerialPort *serialPort = nullptr;
QTimer *pollTimer = nullptr;
int recvMode = 0;
TransferLine *transferLine = nullptr;

QString portNameSetting;
int baudRateSetting = 0;
int dataBitsSetting = 0;
int stopBitsSetting = 0;
int paritySetting = 0;

int upgradeTarget = 0;
QString accessPassword = QString::fromLatin1(Access::password);
