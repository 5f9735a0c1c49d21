#include "ports.h"

#include "line/lineprobe.h"

#include "netaddress.h"
#include "output.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace {

QString hexId(quint16 id) { return QString("%1").arg(id, 4, 16, QLatin1Char('0')); }

QString describe(const QSerialPortInfo &info)
{
    QString text = info.systemLocation();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier())
        text += " usb:" + hexId(info.vendorIdentifier()) + ':' + hexId(info.productIdentifier());
    if (!info.serialNumber().isEmpty())
        text += ':' + info.serialNumber();
    return text;
}

// The stable names udev gives each adapter, by the device they point at.
QStringList byIdNames(const QString &device)
{
    QStringList names;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == QFileInfo(device).canonicalFilePath())
            names << link.absoluteFilePath();
    return names;
}

bool isUsbId(const QString &given)
{
    return given.startsWith(QLatin1String("usb:"), Qt::CaseInsensitive);
}

// The ids of a usb: port: VID, PID and maybe the serial; empty when malformed.
QStringList usbIds(const QString &given)
{
    static const QRegularExpression hexId(QStringLiteral("^[0-9A-Fa-f]{1,4}$"));
    const QStringList ids = given.mid(4).split(QLatin1Char(':'));
    if (ids.size() < 2 || ids.size() > 3 || !hexId.match(ids[0]).hasMatch() || !hexId.match(ids[1]).hasMatch()
            || (ids.size() == 3 && ids[2].isEmpty()))
        return QStringList();
    return ids;
}

} // namespace

bool portWellFormed(const QString &given, QString *why)
{
    NetAddress address;
    if (isNetworkAddress(given))
        return parseNetAddress(given, &address, why);
    if (!isUsbId(given) || !usbIds(given).isEmpty())
        return true;
    *why = "'" + given + "' is not usb:VID:PID or usb:VID:PID:SERIAL with hex ids as lsusb prints them";
    return false;
}

QString deviceOf(const QString &given)
{
    QString path = given, why;
    NetAddress address;
    if (isNetworkAddress(given))
        return parseNetAddress(given, &address, &why) ? serverKey(address) : given;
    if (isUsbId(given) && !resolvePort(given, &path, &why))
        return given;
    const QString device = QFileInfo(deviceLocation(path)).canonicalFilePath();
    return device.isEmpty() ? given : device;
}

bool resolvePort(const QString &given, QString *path, QString *why)
{
    if (!isUsbId(given)) {
        *path = given;
        return true;
    }
    const QStringList ids = usbIds(given);
    if (!portWellFormed(given, why))
        return false;
    const uint vid = ids[0].toUInt(nullptr, 16);
    const uint pid = ids[1].toUInt(nullptr, 16);
    QStringList matches, candidates;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (!info.hasVendorIdentifier())
            continue;
        candidates << describe(info);
        if (info.vendorIdentifier() == vid && info.productIdentifier() == pid
                && (ids.size() < 3 || info.serialNumber() == ids[2])) {
            matches << describe(info);
            *path = info.systemLocation();
        }
    }
    if (matches.size() == 1)
        return true;
    *why = matches.isEmpty()
        ? "no serial port matches " + given + "; USB ports listed: " + (candidates.isEmpty() ? QStringLiteral("none") : candidates.join(", "))
        : "several serial ports match " + given + ": " + matches.join(", ") + "; add the serial number";
    return false;
}

void listPorts(Output &out)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty() && !out.json())
        out.note(QString(), QStringLiteral("no serial port listed (a module-sim link is not listed: give its path)"));
    for (const QSerialPortInfo &info : ports) {
        const QStringList byId = byIdNames(info.systemLocation());
        QJsonObject event{{"event", "port"}, {"port", info.systemLocation()},
                          {"byId", QJsonArray::fromStringList(byId)},
                          {"vid", info.hasVendorIdentifier() ? QJsonValue(hexId(info.vendorIdentifier())) : QJsonValue()},
                          {"pid", info.hasProductIdentifier() ? QJsonValue(hexId(info.productIdentifier())) : QJsonValue()},
                          {"serial", info.serialNumber()}, {"manufacturer", info.manufacturer()},
                          {"description", info.description()}};
        QStringList text{describe(info)};
        if (!info.manufacturer().isEmpty() || !info.description().isEmpty())
            text << "  " + QStringList({info.manufacturer(), info.description()}).join(QStringLiteral(" · "));
        for (const QString &name : byId)
            text << "  " + name;
        out.result(event, text.join('\n'));
    }
}
