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

QString firstPort()
{
    return QSerialPortInfo::availablePorts().value(0).portName();
}

chuan *openSettings(SimFixture &f)
{
    f.widget<QAction>("chuankou")->trigger();
    return f.window->findChildren<chuan *>().last();
}

QComboBox *box(QWidget *w, const char *name)
{
    return w->findChild<QComboBox *>(QString::fromLatin1(name));
}

void press(QWidget *w, const char *button)
{
    QTest::mouseClick(w->findChild<QPushButton *>(button), Qt::LeftButton);
}

QString saved()
{
    return QStringLiteral("%1 %2 %3 %4 %5").arg(portNameSetting).arg(baudRateSetting).arg(dataBitsSetting)
            .arg(stopBitsSetting).arg(paritySetting);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void savedByItsOwnWindowForTheNextConnect();
};

void TestSettings::savedByItsOwnWindowForTheNextConnect()
{
    SimFixture f(false);
    chuan *unsaved = openSettings(f);
    box(unsaved, "bote")->setCurrentIndex(2);
    unsaved->close();
    QCOMPARE(saved(), QStringLiteral(" 0 0 0 0"));

    chuan *first = openSettings(f);
    chuan *second = openSettings(f);
    QVERIFY(first != unsaved && first != second);
    box(second, "bote")->setCurrentIndex(1);
    box(second, "com")->setEditText("second");
    press(first, "baocun");
    QCOMPARE(saved(), firstPort() + " 115200 8 1 0");
    QVERIFY(!first->isVisible() && second->isVisible());
    press(second, "baocun");
    QCOMPARE(saved(), QStringLiteral("second 57600 8 1 0"));

    // A window opened later shows the form's defaults, not the saved settings.
    QCOMPARE(box(openSettings(f), "bote")->currentText(), QStringLiteral("115200"));

    // What is saved is what the next connect opens.
    chuan *w = openSettings(f);
    box(w, "com")->lineEdit()->selectAll();
    QTest::keyClicks(box(w, "com")->lineEdit(), f.sim.devicePath());
    box(w, "bote")->setCurrentIndex(1);
    box(w, "ting")->setCurrentText("0");
    box(w, "ji_ou")->setCurrentText("1");
    press(w, "baocun");
    QCOMPARE(saved(), f.sim.devicePath() + " 57600 8 0 1");
    QVERIFY(f.connectLink());
    QCOMPARE(serialPort->baudRate(), 57600);
    QCOMPARE(serialPort->parity(), QSerialPort::MarkParity);
    QCOMPARE(int(serialPort->stopBits()), -1); // unknown: "0" is not one stop bit

    // Saving while the link is open changes only the next connect.
    w = openSettings(f);
    box(w, "bote")->setCurrentIndex(2);
    box(w, "com")->setEditText("/dev/null-port");
    press(w, "baocun");
    QVERIFY(serialPort->isOpen());
    QCOMPARE(serialPort->baudRate(), 57600);
    QCOMPARE(baudRateSetting, 9600);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
