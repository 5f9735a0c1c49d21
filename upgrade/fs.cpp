#include "fs.h"
#include "ui_fs.h"

#include "mainwindow/globals.h"
#include "upload.h"

FS::FS(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::FS)
{
    ui->setupUi(this);
    setUpUploadWindow(this, ui->jindu);
}

FS::~FS()
{
    recvMode = 4;
    delete ui;
}

void FS::closeEvent(QCloseEvent *event)
{
    uploadWindowClosed(uploadView(ui));
    QMainWindow::closeEvent(event);
}

void FS::on_open_clicked()
{
    chooseUploadFile(uploadView(ui));
}

void FS::on_send_clicked()
{
    startUpload(dataUpload, uploadView(ui));
}

void FS::on_stop_clicked()
{
    cancelUpload(uploadView(ui));
}
