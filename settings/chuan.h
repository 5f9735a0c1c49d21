#ifndef CHUAN_H
#define CHUAN_H

#include <QMainWindow>

namespace Ui {
class chuan;
}

// Serial settings window: picks the port and line settings for the next connect.
class chuan : public QMainWindow
{
    Q_OBJECT

public:
    explicit chuan(QWidget *parent = nullptr);
    ~chuan() override;

private slots:
    void on_shuaxin_clicked();
    void on_baocun_clicked();

private:
    void listPorts();

    Ui::chuan *ui;
};

#endif
