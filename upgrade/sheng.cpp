#include "sheng.h"
#include "ui_sheng.h"

#include "mainwindow/globals.h"
#include "transfer.h"
#include "upload.h"

sheng::sheng(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::sheng)
{
    ui->setupUi(this);
    shengUi = ui;
    setUpUploadWindow(this, ui->jindu);
}

sheng::~sheng()
{
    recvMode = 4;
    // The main window's handler must not reach widgets that are gone.
    if (shengUi == ui)
        shengUi = nullptr;
    delete ui;
}

void sheng::closeEvent(QCloseEvent *event)
{
    uploadWindowClosed();
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
