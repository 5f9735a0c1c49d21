// The main window as constructed: form, captions, styles and initial state.
#include "mainwindow/globals.h"
#include "simfixture.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTextEdit>
#include <QTest>
#include <QTimer>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initialState();
    void gridCells_data();
    void gridCells();
    void menuEntries();
    void windowGeometry();
    void metaObjectOrder();
    void settingsWindowsAreIndependent();
};

void TestMainWindow::initialState()
{
    SimFixture f(false);
    QCOMPARE(f.window->windowTitle(), QStringLiteral("DAZODOZ"));
    QCOMPARE(recvMode, 4);
    QVERIFY(serialPort);
    QVERIFY(!serialPort->isOpen());
    QVERIFY(pollTimer);
    QVERIFY(!pollTimer->isActive());
    QVERIFY(!pollTimer->isSingleShot());
    QCOMPARE(pollTimer->parent(), f.window);

    for (const char *name : {"single", "AUTO", "GOorSTOP", "DAC_BU"})
        QVERIFY2(!f.widget<QPushButton>(name)->isEnabled(), name);
    for (const char *name : {"shengji", "fs", "rizhi"})
        QVERIFY2(!f.widget<QAction>(name)->isEnabled(), name);
    QVERIFY(f.widget<QPushButton>("DAKAI")->isEnabled());
    QVERIFY(f.widget<QAction>("chuankou")->isEnabled());

    for (const char *name : {"FW", "PL", "DATA", "TEMP", "mosta"})
        QVERIFY2(f.widget<QTextEdit>(name)->isReadOnly(), name);
    QVERIFY(!f.widget<QLineEdit>("DAC_SET")->isReadOnly());

    const QString band = "QLabel{background-color:rgb(0, 145, 217);color: rgb(236,236, 236);}";
    for (const char *name : {"label_5", "label_18", "label_6", "label_7", "label_8"})
        QCOMPARE(f.widget<QLabel>(name)->styleSheet(), band);
    const QString field = "QLabel{background-color:rgb(179, 222, 255);}";
    for (const char *name : {"label", "label_4", "label_2", "label_3", "label_9", "label_10", "label_11"})
        QCOMPARE(f.widget<QLabel>(name)->styleSheet(), field);
    QCOMPARE(f.widget<QLabel>("label_17")->styleSheet(), QString());
    QVERIFY(f.sim.commands().isEmpty());
}

void TestMainWindow::gridCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("cell"); // column, row, column span, row span

    const struct { const char *name, *type, *caption; int row, col, rows, cols; } table[] = {
        {"label_5", "QLabel", "展宽模块信息", 0, 0, 1, 4},
        {"label_6", "QLabel", "串口", 0, 4, 1, 1},
        {"label_10", "QLabel", "状态", 1, 0, 1, 1},
        {"mosta_module", "QPushButton", "ON", 1, 1, 1, 1},
        {"label_9", "QLabel", "告警", 1, 2, 1, 1},
        {"mosta", "QTextEdit", "", 1, 3, 1, 1},
        {"DAKAI", "QPushButton", "连接", 1, 4, 1, 1},
        {"label", "QLabel", "固件版本号", 2, 0, 1, 1},
        {"FW", "QTextEdit", "", 2, 1, 1, 3},
        {"label_7", "QLabel", "模块控制", 2, 4, 1, 1},
        {"label_2", "QLabel", "FPGA版本号", 3, 0, 1, 1},
        {"PL", "QTextEdit", "", 3, 1, 1, 3},
        {"GOorSTOP", "QPushButton", "开启", 3, 4, 3, 1},
        {"label_4", "QLabel", "波形名", 4, 0, 1, 1},
        {"DATA", "QTextEdit", "", 4, 1, 1, 3},
        {"label_3", "QLabel", "温度", 5, 0, 1, 1},
        {"TEMP", "QTextEdit", "", 5, 1, 1, 3},
        {"label_8", "QLabel", "DAC范围（9~31.5）", 6, 0, 1, 2},
        {"label_18", "QLabel", "获取模块信息", 6, 2, 1, 3},
        {"DAC_BU", "QPushButton", "DAC设置", 7, 0, 1, 1},
        {"DAC_SET", "QLineEdit", "", 7, 1, 1, 1},
        {"single", "QPushButton", "单次", 7, 2, 1, 1},
        {"AUTO", "QPushButton", "循环", 7, 3, 1, 2},
        {"label_11", "QLabel", "DAC值", 8, 0, 1, 1},
        {"DAC_Value", "QLineEdit", "", 8, 1, 1, 1},
        {"TIME", "QLineEdit", "", 8, 3, 1, 1},
        {"label_17", "QLabel", "秒/次", 8, 4, 1, 1},
    };
    for (const auto &row : table)
        QTest::newRow(row.name) << row.name << row.type << QString::fromUtf8(row.caption)
                                << QRect(row.col, row.row, row.cols, row.rows);
}

void TestMainWindow::gridCells()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, caption);
    QFETCH(QRect, cell);

    SimFixture f(false);
    auto *grid = f.window->findChild<QGridLayout *>("gridLayout");
    QVERIFY(grid);
    QWidget *w = f.window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), type);
    QCOMPARE(w->parentWidget()->objectName(), QStringLiteral("layoutWidget"));
    const int index = grid->indexOf(w);
    QVERIFY(index >= 0);
    int row, col, rows, cols;
    grid->getItemPosition(index, &row, &col, &rows, &cols);
    QCOMPARE(QRect(col, row, cols, rows), cell);
    QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());

    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), caption);
    else if (auto *button = qobject_cast<QPushButton *>(w))
        QCOMPARE(button->text(), caption);
    else if (auto *edit = qobject_cast<QTextEdit *>(w))
        QCOMPARE(edit->toPlainText(), caption);
    else if (auto *line = qobject_cast<QLineEdit *>(w))
        QCOMPARE(line->text(), caption);
}

void TestMainWindow::menuEntries()
{
    SimFixture f(false);
    QMenuBar *bar = f.window->menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("menubar"));
    QCOMPARE(bar->actions().size(), 1);
    auto *menu = f.window->findChild<QMenu *>("menu1");
    QCOMPARE(menu->title(), QStringLiteral("操作选项"));
    QCOMPARE(bar->actions().first(), menu->menuAction());
    QStringList names, captions;
    for (QAction *a : menu->actions()) {
        names << a->objectName();
        captions << a->text();
        QCOMPARE(a->parent(), f.window);
    }
    QCOMPARE(names, QStringList({"chuankou", "shengji", "fs", "rizhi"}));
    QCOMPARE(captions, QStringList({"串口设置", "软件升级", "波形更新", "日志下载"}));
    QVERIFY(f.window->statusBar());
    QCOMPARE(f.window->statusBar()->objectName(), QStringLiteral("statusbar"));
}

void TestMainWindow::windowGeometry()
{
    SimFixture f(false);
    QCOMPARE(f.window->size(), QSize(887, 628));
    auto *area = f.window->findChild<QWidget *>("layoutWidget");
    QCOMPARE(area->geometry(), QRect(12, 12, 861, 551));
    QCOMPARE(area->parentWidget(), f.window->centralWidget());
    f.window->resize(1000, 700);
    QTest::qWait(20);
    QCOMPARE(area->geometry(), QRect(12, 12, 861, 551));
}

void TestMainWindow::metaObjectOrder()
{
    const QMetaObject &meta = DUDaze::staticMetaObject;
    QCOMPARE(QString(meta.className()), QStringLiteral("DUDaze"));
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        methods << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(methods, QStringList({"recvOK()", "handleSerialError(QSerialPort::SerialPortError)", "sendOnce()",
                                   "handleTimeout()", "on_DAKAI_clicked()", "on_GOorSTOP_clicked()",
                                   "on_AUTO_clicked()", "on_single_clicked()", "serialPort_readyRead()",
                                   "chuan_MENU()", "sheng_MENU()", "fs_MENU()", "rizhi_MENU()",
                                   "on_DAC_BU_clicked()", "set_cflag()"}));
    QCOMPARE(meta.method(meta.methodOffset()).methodType(), QMetaMethod::Signal);
}

void TestMainWindow::settingsWindowsAreIndependent()
{
    SimFixture f(false);
    f.widget<QAction>("chuankou")->trigger();
    f.widget<QAction>("chuankou")->trigger();
    const auto windows = f.window->findChildren<QMainWindow *>("chuan");
    QCOMPARE(windows.size(), 2);
    QVERIFY(windows[0] != windows[1]);
    for (QMainWindow *w : windows) {
        QVERIFY(w->isVisible());
        QCOMPARE(w->parent(), f.window);
        QCOMPARE(w->windowTitle(), QStringLiteral("USB"));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
