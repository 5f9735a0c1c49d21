#include "statusreader.h"

#include "protocol/replyvalue.h"

#include <QStringList>

#include <algorithm>

QJsonObject StatusReader::values() const
{
    const QString text = replyText(m_bytes);
    QJsonObject values;
    for (const Key::Field &field : Key::fields) {
        bool found = false;
        const QString value = replyValue(text, QLatin1String(field.key), &found);
        values.insert(QLatin1String(field.name), found ? QJsonValue(value) : QJsonValue());
    }
    return values;
}

bool StatusReader::answered() const
{
    const QJsonObject all = values();
    return std::any_of(all.begin(), all.end(), [](const QJsonValue &v) { return !v.isNull(); });
}

QString StatusReader::whyUnanswered() const
{
    return m_bytes.isEmpty() ? QStringLiteral("no answer from the module (is it on, and is the speed right?)")
                             : QStringLiteral("no value could be read from the module's answers (is the line speed right?)");
}

const QStringList polledValues{"output", "alarm", "dac"};
const QStringList queriedValues{"dac", "temperature", "firmware", "fpga", "waveform"};

QString statusText(const QJsonObject &values, const QStringList &only)
{
    QStringList parts;
    for (const Key::Field &field : Key::fields) {
        const QJsonValue v = values.value(QLatin1String(field.name));
        if (only.isEmpty() || only.contains(QLatin1String(field.name)))
            parts << QLatin1String(field.name) + ' ' + (v.isNull() ? QStringLiteral("-") : v.toString());
    }
    return parts.join(QStringLiteral(", "));
}

QJsonObject statusEvent(const char *event, const QString &port, const QJsonObject &values)
{
    QJsonObject out = values;
    out.insert(QStringLiteral("event"), QLatin1String(event));
    out.insert(QStringLiteral("port"), port);
    return out;
}
