#include "chuan.h"
#include "ui_chuan.h"

#include "mainwindow/globals.h"

#include <QSerialPortInfo>

chuan::chuan(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::chuan)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("USB"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    listPorts();
}

chuan::~chuan()
{
    delete ui;
}

void chuan::listPorts()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        ui->com->addItem(port.portName());
}

void chuan::on_shuaxin_clicked()
{
    ui->com->clear();
    listPorts();
}

void chuan::on_baocun_clicked()
{
    portNameSetting = ui->com->currentText();
    baudRateSetting = ui->bote->currentText().toInt(nullptr, 10);
    dataBitsSetting = ui->data->currentText().toInt(nullptr, 10);
    stopBitsSetting = ui->ting->currentText().toInt(nullptr, 10);
    paritySetting = ui->ji_ou->currentText().toInt(nullptr, 10);
    close();
}
