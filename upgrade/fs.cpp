#include "fs.h"
#include "ui_fs.h"

FS::FS(QWidget *parent)
    : UploadWindow(parent, dataUpload)
    , ui(new Ui::FS)
{
    ui->setupUi(this);
    setUp({ui->filename, ui->open, ui->send, ui->yifasong, ui->zongdaxiao, ui->jindu});
}

FS::~FS()
{
    delete ui;
}

void FS::on_open_clicked()
{
    chooseFile();
}

void FS::on_send_clicked()
{
    send();
}

void FS::on_stop_clicked()
{
    stop();
}
