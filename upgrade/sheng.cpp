#include "sheng.h"
#include "ui_sheng.h"

#include "mainwindow/globals.h"
#include "upload.h"

sheng::sheng(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::sheng)
{
    ui->setupUi(this);
    setUpUploadWindow(this, ui->jindu);
}

sheng::~sheng()
{
    recvMode = 4;
    delete ui;
}

void sheng::closeEvent(QCloseEvent *event)
{
    uploadWindowClosed(uploadView(ui));
    QMainWindow::closeEvent(event);
}

void sheng::on_openfile_clicked()
{
    chooseUploadFile(uploadView(ui));
}

void sheng::on_sendfile_clicked()
{
    startUpload(firmwareUpload, uploadView(ui));
}

void sheng::on_sendstop_clicked()
{
    cancelUpload(uploadView(ui));
}
