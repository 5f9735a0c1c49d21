#include "xmodem.h"

#include <array>

namespace {

std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        quint16 crc = quint16(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
        table[size_t(byte)] = crc;
    }
    return table;
}

} // namespace

quint16 crc16Xmodem(const QByteArray &data)
{
    static const std::array<quint16, 256> table = makeTable();
    quint16 crc = 0;
    for (char c : data)
        crc = quint16((crc << 8) ^ table[((crc >> 8) ^ quint8(c)) & 0xFF]);
    return crc;
}

QByteArray xmodemBlock(quint8 number, const QByteArray &data)
{
    QByteArray payload = data.left(Xmodem::DataSize);
    payload.append(Xmodem::DataSize - payload.size(), Xmodem::Pad);
    const quint16 crc = crc16Xmodem(payload);
    QByteArray block;
    block.reserve(Xmodem::BlockSize);
    block += Xmodem::STX;
    block += char(number);
    block += char(quint8(~number));
    block += payload;
    block += char(crc >> 8);
    block += char(crc & 0xFF);
    return block;
}
