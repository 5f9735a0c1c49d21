#include "watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <sys/resource.h>

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Watcher::Watcher()
{
    m_clock.start();
    qApp->installEventFilter(this);
}

double Watcher::ms() const
{
    return double(m_clock.nsecsElapsed()) / 1e6;
}

Watcher::Stamp Watcher::now(const QString &text) const
{
    return {text, ms(), cpuSeconds()};
}

bool Watcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto *box = qobject_cast<QMessageBox *>(watched);
        // A question (replace the log file?) is the file chooser's to answer.
        if (box && box->button(QMessageBox::Ok)) {
            boxes << now(box->text());
            emit boxShown();
            // Pressed once the box's own event loop runs.
            QTimer::singleShot(0, box, [box] {
                if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                    ok->click();
            });
        }
    } else if (event->type() == QEvent::Hide && qobject_cast<QFileDialog *>(watched)) {
        fileDialogsClosed << now();
    }
    return QObject::eventFilter(watched, event);
}
