#include "mima.h"
#include "ui_mima.h"

#include "mainwindow/globals.h"
#include "upgrade/fs.h"
#include "upgrade/sheng.h"

#include <QMessageBox>

mima::mima(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::mima)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("升级"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

mima::~mima()
{
    delete ui;
}

void mima::on_que_clicked()
{
    const QString typed = ui->mi->text();
    // Read at the click, not at opening: the menu entry chosen last decides.
    const int target = upgradeTarget;

    if (typed == accessPassword) {
        QMainWindow *upgrade = nullptr;
        if (target == 1)
            upgrade = new sheng(this);
        else if (target == 2)
            upgrade = new FS(this);
        if (upgrade)
            upgrade->show();
    } else {
        QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("密码错误"),
                                 QMessageBox::Ok);
    }
    close();
}
