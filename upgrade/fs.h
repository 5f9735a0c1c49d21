#ifndef FS_H
#define FS_H

#include "uploadwindow.h"

namespace Ui {
class FS;
}

// Waveform data upgrade window: picks a waveform data file and uploads it to the module.
class FS : public UploadWindow
{
    Q_OBJECT

public:
    explicit FS(QWidget *parent = nullptr);
    ~FS() override;

private slots:
    void on_open_clicked();
    void on_send_clicked();
    void on_stop_clicked();

private:
    Ui::FS *ui;
};

#endif
