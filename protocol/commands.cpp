#include "commands.h"

#include "replyvalue.h"

namespace Cmd {

QByteArrayList answerKeys(const QByteArray &command)
{
    static const struct {
        const char *command;
        QByteArrayList keys;
    } owing[] = {
        {ReadTemperature, {Key::Temperature}},
        // Its information lines, the waveform's name the last of them.
        {ReadVersions, {Key::Firmware, Key::Fpga, Key::Waveform}},
        {DacInfo, {Key::Dac}},
        {ReadDac, {Key::Dac}},
        {ReadOutput, {Key::Output}},
        {ReadAlarm, {Key::Alarm}},
    };
    for (const auto &o : owing) {
        if (command == o.command)
            return o.keys;
    }
    return {};
}

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
