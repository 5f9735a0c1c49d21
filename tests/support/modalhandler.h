#ifndef MODALHANDLER_H
#define MODALHANDLER_H

#include <QList>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Watches for modal dialogs while a test runs: records every message box and
// presses its OK button, answers a question yes; answers every file dialog with the next queued path
// (or cancels it when none is queued).
class ModalHandler : public QObject
{
    Q_OBJECT

public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit ModalHandler(QObject *parent = nullptr);

    QList<Box> boxes;
    QStringList questions;
    QStringList filesToChoose;
    // Runs while a box is still shown, before OK is pressed.
    std::function<void(const Box &)> onBox;
    // Runs once when a box is first seen.
    std::function<void()> onShown;
    // How long a box or a file dialog stays up before it is answered, so
    // that a test can let things happen behind it.
    int pressAfterMs = 0;

    QStringList texts() const;

private:
    void check();

    QTimer m_timer;
    QPointer<QMessageBox> m_shown;
    QElapsedTimer m_shownFor;
    QPointer<QFileDialog> m_fileDialog;
    QString m_file;
    int m_tries = 0;
};

#endif
