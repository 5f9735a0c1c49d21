// The serial settings window and the settings it hands to the next connect.
#include "mainwindow/globals.h"
#include "settings/chuan.h"
#include "simfixture.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTest>

namespace {

QStringList items(QComboBox *box)
{
    QStringList all;
    for (int i = 0; i < box->count(); ++i)
        all << box->itemText(i);
    return all;
}

QStringList portNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

chuan *openSettings(SimFixture &f)
{
    const auto before = f.window->findChildren<chuan *>();
    f.widget<QAction>("chuankou")->trigger();
    for (chuan *w : f.window->findChildren<chuan *>())
        if (!before.contains(w))
            return w;
    return nullptr;
}

template <class T>
T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QString::fromLatin1(name));
}

void save(QWidget *w)
{
    QTest::mouseClick(child<QPushButton>(w, "baocun"), Qt::LeftButton);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void formAndDefaults();
    void freshWindowSavesFirstItems();
    void saveConvertsChoices();
    void typedPathConnects();
    void markParityAndUnknownStopBitsApplied();
    void refreshRelistsPorts();
    void windowsSaveIndependently();
    void closingWithoutSaveKeepsSettings();
    void savingWhileOpenKeepsLink();
};

void TestSettings::formAndDefaults()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->objectName(), QStringLiteral("chuan"));
    QCOMPARE(w->windowTitle(), QStringLiteral("USB"));
    QCOMPARE(w->size(), QSize(315, 379));
    const Qt::WindowFlags flags = w->windowFlags();
    QVERIFY(flags.testFlag(Qt::Window) && flags.testFlag(Qt::WindowTitleHint) && flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(items(child<QComboBox>(w, "bote")), QStringList({"115200", "57600", "9600"}));
    QCOMPARE(items(child<QComboBox>(w, "data")), QStringList({"8"}));
    QCOMPARE(items(child<QComboBox>(w, "ting")), QStringList({"1", "0"}));
    QCOMPARE(items(child<QComboBox>(w, "ji_ou")), QStringList({"0", "1"}));
    QCOMPARE(items(child<QComboBox>(w, "com")), portNames());
    QVERIFY(child<QComboBox>(w, "com")->isEditable());
    for (const char *name : {"com", "bote", "data", "ting", "ji_ou"})
        QCOMPARE(child<QComboBox>(w, name)->currentIndex(), child<QComboBox>(w, name)->count() ? 0 : -1);

}

void TestSettings::freshWindowSavesFirstItems()
{
    SimFixture f(false);
    save(openSettings(f));
    QCOMPARE(portNameSetting, portNames().value(0));
    QCOMPARE(baudRateSetting, 115200);
    QCOMPARE(dataBitsSetting, 8);
    QCOMPARE(stopBitsSetting, 1);
    QCOMPARE(paritySetting, 0);
}

void TestSettings::saveConvertsChoices()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    child<QComboBox>(w, "com")->setEditText("/dev/ttyUSB7");
    child<QComboBox>(w, "bote")->setCurrentIndex(2);
    child<QComboBox>(w, "ting")->setCurrentIndex(1);
    child<QComboBox>(w, "ji_ou")->setCurrentIndex(1);
    save(w);
    QCOMPARE(portNameSetting, QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(baudRateSetting, 9600);
    QCOMPARE(dataBitsSetting, 8);
    QCOMPARE(stopBitsSetting, 0);
    QCOMPARE(paritySetting, 1);
    QVERIFY(!w->isVisible());
    QVERIFY(f.sim.received().isEmpty());
}

void TestSettings::typedPathConnects()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    child<QComboBox>(w, "com")->lineEdit()->selectAll();
    QTest::keyClicks(child<QComboBox>(w, "com")->lineEdit(), f.sim.devicePath());
    child<QComboBox>(w, "bote")->setCurrentIndex(1);
    save(w);
    QCOMPARE(portNameSetting, f.sim.devicePath());
    QVERIFY(f.connectLink());
    QCOMPARE(serialPort->baudRate(), 57600);
    QCOMPARE(f.lines().mid(0, 2), QByteArrayList({"MOD", "key 3"}));
}

void TestSettings::markParityAndUnknownStopBitsApplied()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    child<QComboBox>(w, "com")->setEditText(f.sim.devicePath());
    child<QComboBox>(w, "ting")->setCurrentText("0");
    child<QComboBox>(w, "ji_ou")->setCurrentText("1");
    save(w);
    QVERIFY(f.connectLink());
    QCOMPARE(serialPort->parity(), QSerialPort::MarkParity);
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
    QCOMPARE(serialPort->stopBits(), QSerialPort::UnknownStopBits);
QT_WARNING_POP
    QCOMPARE(serialPort->dataBits(), QSerialPort::Data8);
    QCOMPARE(serialPort->flowControl(), QSerialPort::NoFlowControl);
}

void TestSettings::refreshRelistsPorts()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    auto *com = child<QComboBox>(w, "com");
    com->addItem("stale");
    com->setCurrentText("typed");
    child<QComboBox>(w, "bote")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>(w, "shuaxin"), Qt::LeftButton);
    QCOMPARE(items(com), portNames());
    QCOMPARE(com->currentText(), portNames().value(0));
    QCOMPARE(child<QComboBox>(w, "bote")->currentText(), QStringLiteral("9600"));
    QVERIFY(w->isVisible());
}

void TestSettings::windowsSaveIndependently()
{
    SimFixture f(false);
    chuan *first = openSettings(f);
    chuan *second = openSettings(f);
    QVERIFY(first && second && first != second);
    child<QComboBox>(first, "bote")->setCurrentIndex(2);
    child<QComboBox>(second, "bote")->setCurrentIndex(1);
    child<QComboBox>(second, "com")->setEditText("second");
    save(first);
    QCOMPARE(baudRateSetting, 9600);
    QVERIFY(second->isVisible());
    save(second);
    QCOMPARE(baudRateSetting, 57600);
    QCOMPARE(portNameSetting, QStringLiteral("second"));
    // A window opened later shows the form's defaults, not the saved settings.
    QCOMPARE(child<QComboBox>(openSettings(f), "bote")->currentText(), QStringLiteral("115200"));
}

void TestSettings::closingWithoutSaveKeepsSettings()
{
    SimFixture f(false);
    chuan *w = openSettings(f);
    child<QComboBox>(w, "bote")->setCurrentIndex(2);
    w->close();
    QCOMPARE(baudRateSetting, 0);
    QCOMPARE(portNameSetting, QString());
    QVERIFY(f.window->findChildren<chuan *>().contains(w));
}

void TestSettings::savingWhileOpenKeepsLink()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    chuan *w = openSettings(f);
    child<QComboBox>(w, "bote")->setCurrentIndex(2);
    child<QComboBox>(w, "com")->setEditText("/dev/null-port");
    save(w);
    QVERIFY(serialPort->isOpen());
    QCOMPARE(serialPort->baudRate(), 115200);
    QCOMPARE(baudRateSetting, 9600);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
