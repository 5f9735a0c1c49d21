#ifndef SHENG_H
#define SHENG_H

#include <QMainWindow>

namespace Ui {
class sheng;
}

// Firmware upgrade window: picks a firmware file and uploads it to the module.
class sheng : public QMainWindow
{
    Q_OBJECT

public:
    explicit sheng(QWidget *parent = nullptr);
    ~sheng() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_openfile_clicked();
    void on_sendfile_clicked();
    void on_sendstop_clicked();

private:
    Ui::sheng *ui;
};

#endif
