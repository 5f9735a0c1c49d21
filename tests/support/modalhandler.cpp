#include "modalhandler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

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
    if (!modal || !modal->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (box != m_shown) {
            m_shown = box;
            m_shownFor.start();
            if (onShown)
                onShown();
        }
        if (m_shownFor.elapsed() < pressAfterMs)
            return;
        m_shown = nullptr;
        // A question (replace the file?) is answered yes.
        if (QAbstractButton *yes = box->button(QMessageBox::Yes)) {
            questions << box->text();
            yes->click();
            return;
        }
        const Box seen{box->windowTitle(), box->text(), box->icon()};
        boxes.append(seen);
        if (onBox)
            onBox(seen);
        box->button(QMessageBox::Ok)->click();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        // An accept the dialog turns down is tried again on the next turn.
        if (dialog != m_fileDialog) {
            m_fileDialog = dialog;
            m_tries = 0;
            m_file = filesToChoose.isEmpty() ? QString() : filesToChoose.takeFirst();
            m_shownFor.start();
        }
        if (m_shownFor.elapsed() < pressAfterMs)
            return;
        if (m_file.isEmpty() || ++m_tries > 100) {
            dialog->reject();
            return;
        }
        // Typed into the name field: selectFile() depends on the dialog's
        // folder listing, which may not know a file made a moment ago.
        if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
            name->setText(m_file);
        else
            dialog->selectFile(m_file);
        // Queued: a replace question opened by accept() is answered on a later turn.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
}
