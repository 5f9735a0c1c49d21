// What a connected, polling tool costs the machine: waits block in the event
// loop instead of spinning.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QTest>
#include <QTimer>

#include <ctime>

class TestIdleCpu : public QObject
{
    Q_OBJECT

private slots:
    void pollingFor20Seconds();
};

void TestIdleCpu::pollingFor20Seconds()
{
    SimFixture f;
    QVERIFY(f.connectLink());
    QCOMPARE(pollTimer->interval(), 2000);
    f.sim.clearTranscript();
    f.dialogs.setWatching(false);

    timespec start, end;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    QEventLoop loop;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);

    const double used = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    // Tool and simulator together, for 20 s of status polling.
    qInfo("CPU time over 20 s of polling: %.3f s (%.2f %% of one core)", used, used / 20 * 100);
    QVERIFY(f.lines().count("dac") >= 9);
    QVERIFY2(used < 0.02 * 20, qPrintable(QString::number(used)));
}

QTEST_MAIN(TestIdleCpu)
#include "tst_idlecpu.moc"
