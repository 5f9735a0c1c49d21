#ifndef PROTOCOL_REPLYVALUE_H
#define PROTOCOL_REPLYVALUE_H

#include <QByteArray>
#include <QString>

// The keys that label the values in the module's replies.
namespace Key {
constexpr char Output[] = "MOD:";
constexpr char Dac[] = "DAC:";
constexpr char Alarm[] = "AST:";
constexpr char Temperature[] = "MT:";
constexpr char Firmware[] = "Firmware Vers:";
constexpr char Fpga[] = "PL Vers:";
constexpr char Waveform[] = "SN:";

// The values the status poll and the single query report, by name, in the
// order they are shown.
struct Field {
    const char *name;
    const char *key;
};
constexpr Field fields[] = {{"output", Output}, {"alarm", Alarm}, {"dac", Dac}, {"temperature", Temperature},
                            {"firmware", Firmware}, {"fpga", Fpga}, {"waveform", Waveform}};
}

// The text of a received chunk: its bytes up to the first NUL, as UTF-8.
QString replyText(const QByteArray &chunk);

// The value of the first line carrying key, cut by position: from two
// characters after the key's colon to the character before the line feed
// (the CR of CR LF); the rest of the text when no line feed follows.
// Sets *found to false and returns an empty string when the key is absent.
QString replyValue(const QString &text, const QString &key, bool *found);

// The output state a "MOD:" value reports: "ON" wins over "OFF" when both
// stand in it; neither is no state at all.
enum class OutputState { Unknown, On, Off };
OutputState outputState(const QString &value);

#endif
