#ifndef WATCHER_H
#define WATCHER_H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

// CPU seconds this process has used so far, user and system together.
double cpuSeconds();

// Stamps, with wall and CPU time, the moments a benchmark measures between:
// every message box as it appears, and the closing of a file dialog. Boxes
// are answered with OK from the event loop, so nothing polls for them while
// a figure is taken.
class Watcher : public QObject
{
    Q_OBJECT

public:
    struct Stamp {
        QString text;   // the box's text; empty for a file dialog
        double ms;      // since the watcher was made
        double cpu;     // cpuSeconds() then
    };

    Watcher();
    double ms() const;
    Stamp now(const QString &text = QString()) const;

    QList<Stamp> boxes;
    QList<Stamp> fileDialogsClosed;

signals:
    void boxShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_clock;
};

#endif
