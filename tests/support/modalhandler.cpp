#include "modalhandler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

ModalHandler::ModalHandler(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalHandler::check);
    m_timer.start();
}

QStringList ModalHandler::texts() const
{
    QStringList all;
    for (const Box &box : boxes)
        all << box.text;
    return all;
}

void ModalHandler::check()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (!box->isVisible())
            return;
        if (box != m_shown) {
            m_shown = box;
            m_shownFor.start();
        }
        if (m_shownFor.elapsed() < pressAfterMs)
            return;
        m_shown = nullptr;
        const Box seen{box->windowTitle(), box->text(), box->icon(), box->parentWidget()};
        boxes.append(seen);
        if (onBox)
            onBox(seen);
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        if (!dialog->isVisible())
            return;
        ++fileDialogs;
        if (filesToChoose.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(filesToChoose.takeFirst());
        QMetaObject::invokeMethod(dialog, "accept");
    }
}
