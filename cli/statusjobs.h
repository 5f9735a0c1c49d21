#ifndef CLI_STATUSJOBS_H
#define CLI_STATUSJOBS_H

#include "session.h"
#include "statusreader.h"

#include <QDateTime>
#include <QElapsedTimer>

// status: the status poll and the single query, then the values once the line is quiet.
class StatusJob : public Job
{
public:
    using Job::Job;
    void start() override;
    void received(const QByteArray &bytes) override { m_reader.add(bytes); }

private:
    StatusReader m_reader;
};

// watch: the status poll and the temperature every interval, one line each.
class WatchJob : public Job
{
public:
    using Job::Job;
    void start() override;
    void received(const QByteArray &bytes) override { m_reader.add(bytes); }

private:
    void poll();
    void report();
    void end();

    StatusReader m_reader;
    QElapsedTimer m_start; // when the first poll went out
    QString m_time;
    bool m_pending = false;
    int m_polls = 0;
    int m_answered = 0;
};

// output on|off and dac VALUE: the command, then the module's state read back.
class ControlJob : public Job
{
public:
    using Job::Job;
    void start() override;
    void received(const QByteArray &bytes) override { m_reader.add(bytes); }

private:
    void verify();

    StatusReader m_reader;
};

#endif
