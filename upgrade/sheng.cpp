#include "sheng.h"
#include "ui_sheng.h"

sheng::sheng(QWidget *parent)
    : UploadWindow(parent, firmwareUpload)
    , ui(new Ui::sheng)
{
    ui->setupUi(this);
    setUp({ui->filename, ui->openfile, ui->sendfile, ui->yifasong, ui->zongdaxiao, ui->jindu});
}

sheng::~sheng()
{
    delete ui;
}

void sheng::on_openfile_clicked()
{
    chooseFile();
}

void sheng::on_sendfile_clicked()
{
    send();
}

void sheng::on_sendstop_clicked()
{
    stop();
}
