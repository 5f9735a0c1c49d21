#ifndef MIMA_H
#define MIMA_H

#include <QMainWindow>

namespace Ui {
class mima;
}

// Password prompt in front of the firmware and waveform data upgrades.
class mima : public QMainWindow
{
    Q_OBJECT

public:
    explicit mima(QWidget *parent = nullptr);
    ~mima() override;

private slots:
    void on_que_clicked();

private:
    Ui::mima *ui;
};

#endif
