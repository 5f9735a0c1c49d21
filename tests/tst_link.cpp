// Opening and closing the link, and the loss of the port.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <ctime>

namespace {

double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

bool linkControlsEnabled(SimFixture &f, bool enabled)
{
    for (const char *name : {"single", "AUTO", "GOorSTOP", "DAC_BU"})
        if (f.widget<QPushButton>(name)->isEnabled() != enabled)
            return false;
    for (const char *name : {"shengji", "fs", "rizhi"})
        if (f.widget<QAction>(name)->isEnabled() != enabled)
            return false;
    return f.widget<QPushButton>("DAKAI")->isEnabled() && f.widget<QAction>("chuankou")->isEnabled();
}

void fillStatusView(SimFixture &f)
{
    for (const char *name : {"TEMP", "FW", "PL", "DATA", "mosta"})
        f.widget<QTextEdit>(name)->setText("x");
    f.widget<QLineEdit>("DAC_Value")->setText("12.5");
    f.widget<QLineEdit>("DAC_SET")->setText("20");
    f.widget<QPushButton>("GOorSTOP")->setText("关闭");
    f.widget<QPushButton>("AUTO")->setText("停止");
}

void verifyClosedState(SimFixture &f)
{
    QCOMPARE(f.widget<QPushButton>("DAKAI")->text(), QStringLiteral("连接"));
    QCOMPARE(f.widget<QPushButton>("GOorSTOP")->text(), QStringLiteral("开启"));
    QCOMPARE(f.widget<QPushButton>("AUTO")->text(), QStringLiteral("循环"));
    QVERIFY(!serialPort->isOpen());
    QVERIFY(!pollTimer->isActive());
    QVERIFY(linkControlsEnabled(f, false));
    for (const char *name : {"TEMP", "FW", "PL", "DATA"})
        QVERIFY2(f.widget<QTextEdit>(name)->toPlainText().isEmpty(), name);
    // The alarm, the module state and the DAC boxes keep what they showed.
    QCOMPARE(f.widget<QTextEdit>("mosta")->toPlainText(), QStringLiteral("x"));
    QCOMPARE(f.widget<QLineEdit>("DAC_Value")->text(), QStringLiteral("12.5"));
    QCOMPARE(f.widget<QLineEdit>("DAC_SET")->text(), QStringLiteral("20"));
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void connectWithoutSettingsFails();
    void connectToModule();
    void disconnect();
    void lossOfPort();
    void otherErrorsLeaveLinkOpen();
    void lossWhileConnectBoxShown();
    void reconnectAfterDisconnect();
};

void TestLink::connectWithoutSettingsFails()
{
    SimFixture f(false);
    recvMode = 6;
    f.click("DAKAI");
    QCOMPARE(f.dialogs.boxes.size(), 1);
    const ModalHandler::Box box = f.dialogs.boxes.first();
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, QStringLiteral("连接失败"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.parent, f.window);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QCOMPARE(f.widget<QPushButton>("DAKAI")->text(), QStringLiteral("连接"));
    QVERIFY(linkControlsEnabled(f, false));
    QVERIFY(!serialPort->isOpen());
    QVERIFY(!pollTimer->isActive());
    QCOMPARE(recvMode, 6);
    QVERIFY(f.sim.received().isEmpty());
}

void TestLink::connectToModule()
{
    SimFixture f;
    recvMode = 0;
    int bytesWhileBoxShown = -1;
    bool timerWhileBoxShown = true;
    f.dialogs.onBox = [&](const ModalHandler::Box &) {
        bytesWhileBoxShown = f.sim.received().size();
        timerWhileBoxShown = pollTimer->isActive();
    };
    QVERIFY(f.connectLink());

    QCOMPARE(f.dialogs.texts(), QStringList{"连接成功"});
    QCOMPARE(f.dialogs.boxes.first().title, QStringLiteral("提示"));
    QCOMPARE(f.dialogs.boxes.first().icon, QMessageBox::Information);
    QCOMPARE(f.dialogs.boxes.first().parent, f.window);
    QCOMPARE(bytesWhileBoxShown, 0);
    QVERIFY(!timerWhileBoxShown);

    QCOMPARE(f.sim.received(), QByteArray("MOD\r\nkey 3\r\n"));
    QVERIFY(f.spacedAtLeast("MOD", "key 3", 100));
    QCOMPARE(recvMode, 4);
    QVERIFY(pollTimer->isActive());
    QCOMPARE(pollTimer->interval(), 2000);
    QCOMPARE(f.widget<QPushButton>("DAKAI")->text(), QStringLiteral("断开"));
    QVERIFY(linkControlsEnabled(f, true));

    QCOMPARE(serialPort->baudRate(), 115200);
    QCOMPARE(serialPort->dataBits(), QSerialPort::Data8);
    QCOMPARE(serialPort->stopBits(), QSerialPort::OneStop);
    QCOMPARE(serialPort->parity(), QSerialPort::NoParity);
    QCOMPARE(serialPort->flowControl(), QSerialPort::NoFlowControl);
    // The module's answer to "MOD" lands in the status view.
    QTRY_COMPARE(f.widget<QPushButton>("mosta_module")->text(), QStringLiteral("OFF"));
}

void TestLink::disconnect()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    fillStatusView(f);
    recvMode = 0;
    bool openWhileBoxShown = false, timerWhileBoxShown = false;
    f.dialogs.onBox = [&](const ModalHandler::Box &) {
        openWhileBoxShown = serialPort->isOpen();
        timerWhileBoxShown = pollTimer->isActive();
    };
    f.click("DAKAI");

    QCOMPARE(f.dialogs.texts(), QStringList({"连接成功", "串口关闭成功"}));
    QCOMPARE(f.dialogs.boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(f.dialogs.boxes.last().icon, QMessageBox::Information);
    QVERIFY(openWhileBoxShown);
    QVERIFY(timerWhileBoxShown);
    verifyClosedState(f);
    QCOMPARE(recvMode, 0);
}

void TestLink::lossOfPort()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    fillStatusView(f);
    // A fresh period: the loss must be seen from the line itself, not from
    // the next poll's failing write.
    pollTimer->start(2000);
    f.sim.hangUp();

    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.boxes.size(), 2, 1000);
    QCOMPARE(f.dialogs.boxes.last().title, QStringLiteral("错误"));
    QCOMPARE(f.dialogs.boxes.last().text, QStringLiteral("串口断开连接"));
    QCOMPARE(f.dialogs.boxes.last().icon, QMessageBox::Information);
    QCOMPARE(f.dialogs.boxes.last().parent, f.window);
    verifyClosedState(f);
    QCOMPARE(recvMode, 4);

    // The closed line neither reports again nor keeps a core busy.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY(cpuSeconds() - before < 0.2);
    QMetaObject::invokeMethod(f.window, "handleSerialError", Q_ARG(QSerialPort::SerialPortError, QSerialPort::ResourceError));
    QTest::qWait(50);
    QCOMPARE(f.dialogs.boxes.size(), 2);
}

void TestLink::otherErrorsLeaveLinkOpen()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    QMetaObject::invokeMethod(f.window, "handleSerialError", Q_ARG(QSerialPort::SerialPortError, QSerialPort::ParityError));
    QMetaObject::invokeMethod(f.window, "handleSerialError", Q_ARG(QSerialPort::SerialPortError, QSerialPort::ReadError));
    QTest::qWait(50);
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QVERIFY(serialPort->isOpen());
    QVERIFY(pollTimer->isActive());
    QCOMPARE(f.widget<QPushButton>("DAKAI")->text(), QStringLiteral("断开"));
}

void TestLink::lossWhileConnectBoxShown()
{
    SimFixture f;
    f.dialogs.pressAfterMs = 150;
    QTimer::singleShot(0, [&] { f.sim.hangUp(); });
    f.click("DAKAI");
    // The loss was handled while "连接成功" was still up ...
    QCOMPARE(f.dialogs.texts(), QStringList({"串口断开连接", "连接成功"}));
    // ... and nothing is started on the line that has gone.
    QVERIFY(!serialPort->isOpen());
    QVERIFY(!pollTimer->isActive());
    QCOMPARE(f.widget<QPushButton>("DAKAI")->text(), QStringLiteral("连接"));
    QVERIFY(linkControlsEnabled(f, false));
}

void TestLink::reconnectAfterDisconnect()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    f.click("DAKAI");
    f.sim.clearTranscript();
    recvMode = 5;
    QVERIFY(f.connectLink());
    QCOMPARE(recvMode, 4);
    QCOMPARE(f.dialogs.texts(), QStringList({"连接成功", "串口关闭成功", "连接成功"}));
    QCOMPARE(f.lines().mid(0, 2), QByteArrayList({"MOD", "key 3"}));
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
