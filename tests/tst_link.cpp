// Opening and closing the link, the loss of the port, and the event-running wait.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <ctime>

namespace {

void fillStatusView(SimFixture &f)
{
    for (const char *name : {"TEMP", "FW", "PL", "DATA", "mosta"})
        f.widget<QTextEdit>(name)->setText("x");
    f.widget<QLineEdit>("DAC_Value")->setText("12.5");
    f.widget<QPushButton>("mosta_module")->setText("ON");
    f.widget<QPushButton>("GOorSTOP")->setText("关闭");
    f.widget<QPushButton>("AUTO")->setText("停止");
}

// Closed: idle captions, no polling, link controls off, the version and
// temperature boxes cleared while the alarm, state and DAC keep theirs.
void verifyClosedState(SimFixture &f)
{
    QCOMPARE(f.text("DAKAI"), QStringLiteral("连接"));
    QCOMPARE(f.view(), QStringLiteral("||||x|12.5|ON|开启|循环"));
    QVERIFY(!serialPort->isOpen());
    QVERIFY(!pollTimer->isActive());
    QVERIFY(f.linkControlsEnabled(false));
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void startStateAndConnectWithoutSettings();
    void connectToModule();
    void closing_data();
    void closing();
    void lossWhileConnectBoxShown();
    void delayRunsEventsWithoutSpinning();
};

void TestLink::startStateAndConnectWithoutSettings()
{
    SimFixture f(false);
    QCOMPARE(recvMode, 4);
    QVERIFY(!serialPort->isOpen() && !pollTimer->isActive() && f.linkControlsEnabled(false));

    // No settings saved yet: the empty port name cannot be opened.
    recvMode = 6;
    f.click("DAKAI");
    QCOMPARE(f.dialogs.boxes.size(), 1);
    const ModalHandler::Box box = f.dialogs.boxes.first();
    QCOMPARE(box.title + box.text, QStringLiteral("提示连接失败"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(f.text("DAKAI"), QStringLiteral("连接"));
    QVERIFY(!pollTimer->isActive() && f.linkControlsEnabled(false));
    QCOMPARE(recvMode, 6);
}

void TestLink::connectToModule()
{
    SimFixture f;
    recvMode = 5;
    int bytesWhileBoxShown = -1;
    bool timerWhileBoxShown = true;
    f.dialogs.onBox = [&](const ModalHandler::Box &) {
        bytesWhileBoxShown = f.sim.received().size();
        timerWhileBoxShown = pollTimer->isActive();
    };
    QVERIFY(f.connectLink());

    const ModalHandler::Box box = f.dialogs.boxes.first();
    QCOMPARE(box.title + box.text, QStringLiteral("提示连接成功"));
    QCOMPARE(bytesWhileBoxShown, 0);
    QVERIFY(!timerWhileBoxShown);

    QCOMPARE(f.sim.received(), QByteArray("MOD\r\nkey 3\r\n"));
    QVERIFY(f.linesSpacedBy(100));
    QCOMPARE(recvMode, 4);
    QCOMPARE(pollTimer->isActive() ? pollTimer->interval() : -1, 2000);
    QCOMPARE(f.text("DAKAI"), QStringLiteral("断开"));
    QVERIFY(f.linkControlsEnabled(true));
    QCOMPARE(serialPort->flowControl(), QSerialPort::NoFlowControl);
    // The module's answer to "MOD" lands in the status view.
    QTRY_COMPARE(f.text("mosta_module"), QStringLiteral("OFF"));
}

void TestLink::closing_data()
{
    QTest::addColumn<bool>("lost");
    QTest::newRow("disconnect") << false;
    QTest::newRow("loss of the port") << true;
}

void TestLink::closing()
{
    QFETCH(bool, lost);
    SimFixture f;
    QVERIFY(f.connectLink());
    fillStatusView(f);
    recvMode = 0;
    bool openWhileBoxShown = lost;
    f.dialogs.onBox = [&](const ModalHandler::Box &) { openWhileBoxShown = serialPort->isOpen(); };
    // A fresh period: a loss must be seen from the line itself, not from the
    // next poll's failing write.
    pollTimer->start(2000);
    // A cycle tick while the box is up: on a lost line it must write nothing.
    f.dialogs.pressAfterMs = 200;
    f.dialogs.onShown = [&] { QTimer::singleShot(50, [&] { QMetaObject::invokeMethod(f.window, "handleTimeout"); }); };
    if (lost)
        f.sim.hangUp();
    else
        f.click("DAKAI");
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.boxes.size(), 2, 1000);
    const ModalHandler::Box box = f.dialogs.boxes.last();
    QCOMPARE(box.title + box.text, QString::fromUtf8(lost ? "错误串口断开连接" : "提示串口关闭成功"));
    QCOMPARE(openWhileBoxShown, !lost);
    verifyClosedState(f);
    QCOMPARE(recvMode, 0);
    // A further report of the closed port shows nothing.
    QMetaObject::invokeMethod(f.window, "handleSerialError", Q_ARG(QSerialPort::SerialPortError, QSerialPort::ResourceError));
    QTest::qWait(50);
    QCOMPARE(f.dialogs.boxes.size(), 2);
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
    QCOMPARE(f.text("DAKAI"), QStringLiteral("连接"));
    QVERIFY(f.linkControlsEnabled(false));
}

void TestLink::delayRunsEventsWithoutSpinning()
{
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    delayMs(0);
    delayMs(-5);
    QVERIFY(!ran);

    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpu = std::clock(); // the process's CPU time
    delayMs(200);
    QVERIFY(clock.elapsed() >= 200 && ran);
    // A busy wait would spend the whole time on the CPU.
    QVERIFY2(std::clock() - cpu < CLOCKS_PER_SEC / 50, qPrintable(QString::number(std::clock() - cpu)));
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
