#ifndef SHENG_H
#define SHENG_H

#include "uploadwindow.h"

namespace Ui {
class sheng;
}

// Firmware upgrade window: picks a firmware file and uploads it to the module.
class sheng : public UploadWindow
{
    Q_OBJECT

public:
    explicit sheng(QWidget *parent = nullptr);
    ~sheng() override;

private slots:
    void on_openfile_clicked();
    void on_sendfile_clicked();
    void on_sendstop_clicked();

private:
    Ui::sheng *ui;
};

#endif
