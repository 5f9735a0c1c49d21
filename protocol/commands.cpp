#include "commands.h"

namespace Cmd {

QByteArrayList statusPoll()
{
    return {KeyLower3, ReadOutput, ReadAlarm, ReadDac};
}

QByteArrayList singleQuery()
{
    return {ReadTemperature, ReadVersions, KeyUpper1, DacInfo};
}

QByteArrayList connectQuery()
{
    return {ReadOutput, KeyLower3};
}

QByteArrayList loadAfterData()
{
    return {KeyUpper1, LoadDac};
}

QByteArrayList dacSetting(const QString &typed)
{
    return {KeyLower3, DacPrefix + typed.toLatin1() + LineEnd, Boot};
}

} // namespace Cmd
