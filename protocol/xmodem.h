#ifndef XMODEM_H
#define XMODEM_H

#include <QByteArray>

// XMODEM-1K with CRC-16: the control bytes and the block the tool sends.
namespace Xmodem {
constexpr char STX = 0x02;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char CAN = 0x18;
constexpr char CrcRequest = 'C';
constexpr char Pad = 0x1A;
constexpr int DataSize = 1024;
constexpr int BlockSize = 3 + DataSize + 2;
}

// CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
quint16 crc16Xmodem(const QByteArray &data);

// The 1029-byte block: STX, number, its complement, the data padded with 0x1A
// to 1024 bytes, and the CRC of those 1024 bytes, high byte first.
QByteArray xmodemBlock(quint8 number, const QByteArray &data);

#endif
