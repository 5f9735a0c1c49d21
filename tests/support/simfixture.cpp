#include "simfixture.h"

#include "mainwindow/globals.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

void resetGlobals()
{
    portNameSetting.clear();
    baudRateSetting = dataBitsSetting = stopBitsSetting = paritySetting = 0;
    upgradeTarget = 0;
    recvMode = 0;
}

SimFixture::SimFixture(bool saveSettings)
{
    resetGlobals();
    if (saveSettings) {
        portNameSetting = sim.devicePath();
        baudRateSetting = 115200;
        dataBitsSetting = 8;
        stopBitsSetting = 1;
        paritySetting = 0;
    }
    window = new DUDaze;
    window->show();
}

SimFixture::~SimFixture()
{
    delete window;
    pollTimer = nullptr;
    delete serialPort;
    serialPort = nullptr;
}

void SimFixture::click(const char *button)
{
    QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton);
}

bool SimFixture::connectLink()
{
    const int before = dialogs.boxes.size();
    click("DAKAI");
    // The click returns only after the box was closed and both commands went out.
    return dialogs.boxes.size() == before + 1 && serialPort->isOpen()
            && QTest::qWaitFor([this] { return lines().contains("key 3"); }, 2000);
}

bool SimFixture::connectQuietly()
{
    if (!connectLink()
            || !QTest::qWaitFor([this] { return text("mosta_module") == QLatin1String("OFF"); }, 2000))
        return false;
    pollTimer->stop();
    sim.clearTranscript();
    return true;
}

QString SimFixture::text(const char *name) const
{
    if (auto *edit = widget<QTextEdit>(name))
        return edit->toPlainText();
    if (auto *line = widget<QLineEdit>(name))
        return line->text();
    return widget<QPushButton>(name)->text();
}

QStringList SimFixture::view() const
{
    QStringList all;
    for (const char *name : {"TEMP", "FW", "PL", "DATA", "mosta", "DAC_Value", "mosta_module", "GOorSTOP"})
        all << text(name);
    return all;
}

QByteArrayList SimFixture::lines() const
{
    QByteArrayList all;
    for (const ModuleSim::Command &c : sim.commands())
        all << c.line;
    return all;
}

bool SimFixture::spacedAtLeast(const QByteArray &first, const QByteArray &second, int ms) const
{
    const int readLag = 5;
    qint64 firstAt = -1, measured = -1;
    for (const ModuleSim::Command &c : sim.commands()) {
        if (firstAt < 0 && c.line == first)
            firstAt = c.ms;
        else if (firstAt >= 0 && c.line == second) {
            measured = c.ms - firstAt;
            break;
        }
    }
    if (measured < ms - readLag)
        qWarning("%s -> %s: %lld ms, wanted %d", first.constData(), second.constData(), measured, ms);
    return measured >= ms - readLag;
}
