#include "simfixture.h"

#include "mainwindow/globals.h"

#include <QAction>
#include <QLineEdit>
#include <QMap>
#include <QTextEdit>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

namespace {

QtMessageHandler qtHandler = nullptr;

// A write or read on a closed port is a fault of the tool, wherever it happens.
void failOnClosedPort(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("device not open")))
        qFatal("on a closed link: %s", qPrintable(message));
    if (qtHandler)
        qtHandler(type, context, message);
}

} // namespace

SimFixture::SimFixture()
{
    if (!qtHandler)
        qtHandler = qInstallMessageHandler(failOnClosedPort);
    // The application-wide state as a fresh process has it, the module's line saved.
    portNameSetting = sim.devicePath();
    baudRateSetting = 115200;
    dataBitsSetting = 8;
    stopBitsSetting = 1;
    paritySetting = 0;
    restartWindow();
}

SimFixture::~SimFixture()
{
    delete window;
    pollTimer = nullptr;
    delete serialPort;
    serialPort = nullptr;
}

void SimFixture::restartWindow()
{
    if (window)
        window->close();
    delete window;
    delete serialPort;
    serialPort = nullptr;
    pollTimer = nullptr;
    recvMode = upgradeTarget = 0;
    window = new DUDaze;
    window->show();
}

void SimFixture::click(const char *button)
{
    QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton);
}

QMainWindow *SimFixture::openUpgrade(int target, const QString &password)
{
    widget<QAction>(target == 1 ? "shengji" : "fs")->trigger();
    QMainWindow *prompt = window->findChildren<QMainWindow *>("mima").last();
    prompt->findChild<QLineEdit *>("mi")->setText(password);
    QTest::mouseClick(prompt->findChild<QPushButton *>("que"), Qt::LeftButton);
    return prompt->findChild<QMainWindow *>(target == 1 ? "sheng" : "FS");
}

QPushButton *SimFixture::upgradeButton(QMainWindow *w, int which)
{
    static const char *const names[2][3] = {{"openfile", "sendfile", "sendstop"}, {"open", "send", "stop"}};
    return w->findChild<QPushButton *>(names[w->objectName() == "FS"][which]);
}

bool SimFixture::linkControlsEnabled(bool enabled) const
{
    for (const char *name : {"single", "AUTO", "GOorSTOP", "DAC_BU", "shengji", "fs", "rizhi"})
        if (window->findChild<QObject *>(QString::fromLatin1(name))->property("enabled").toBool() != enabled)
            return false;
    return widget<QPushButton>("DAKAI")->isEnabled() && widget<QAction>("chuankou")->isEnabled();
}

bool SimFixture::connectQuietly()
{
    const int before = dialogs.boxes.size();
    click("DAKAI");
    // The click returns only after the box was closed and both commands went out.
    if (dialogs.boxes.size() != before + 1 || !serialPort->isOpen()
            || !QTest::qWaitFor([this] { return lines().contains("key 3") && text("mosta_module") == "OFF"; }, 4000))
        return false;
    pollTimer->stop();
    sim.clearTranscript();
    return true;
}

QString SimFixture::text(const char *name) const
{
    auto *w = window->findChild<QWidget *>(QString::fromLatin1(name));
    if (auto *edit = qobject_cast<QTextEdit *>(w))
        return edit->toPlainText();
    return w->property("text").toString();
}

QString SimFixture::view() const
{
    QStringList all;
    for (const char *name : {"TEMP", "FW", "PL", "DATA", "mosta", "DAC_Value", "mosta_module", "GOorSTOP", "AUTO"})
        all << text(name);
    return all.join(QLatin1Char('|'));
}

namespace {
const QMap<int, QString> modes{{0, "cycle"}, {2, "firmware"}, {3, "data"}, {4, "status"}, {5, "log"}, {6, "single"}};
}

QString SimFixture::state() const
{
    return QStringLiteral("%1 %2 %3").arg(modes.value(recvMode, QString::number(recvMode))).arg(pollTimer->isActive() ? pollTimer->interval() : -1)
            .arg(linkControlsEnabled(true) ? "on" : linkControlsEnabled(false) ? "off" : "mixed");
}

int SimFixture::mode(const QString &name)
{
    return modes.key(name, name.toInt());
}

QByteArrayList SimFixture::lines() const
{
    QByteArrayList all;
    for (const ModuleSim::Command &c : sim.commands())
        all << c.line;
    return all;
}

bool SimFixture::linesSpacedBy(int ms) const
{
    // The module stamps a line when it reads it; on a loaded machine it may
    // read one a few milliseconds late, which shortens the gap it measures.
    const int readLag = 5;
    const QList<ModuleSim::Command> all = sim.commands();
    for (int i = 1; i < all.size(); ++i) {
        if (all[i].ms - all[i - 1].ms < ms - readLag) {
            qWarning("%s -> %s: %lld ms, wanted %d", all[i - 1].line.constData(), all[i].line.constData(),
                     all[i].ms - all[i - 1].ms, ms);
            return false;
        }
    }
    return true;
}
