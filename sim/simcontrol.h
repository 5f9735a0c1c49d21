#ifndef SIMCONTROL_H
#define SIMCONTROL_H

#include <QByteArray>

class ModuleSim;

// Changes a running ModuleSim and reports what it holds, one command line at a
// time, for a test driver in this process or behind the control socket.
// Answers are "ok", "ok <value>" or "error <why>"; "transcript" and "commands"
// answer "ok <n>" followed by n lines "<ms> <hex>". Bytes travel as hex.
class SimControl
{
public:
    explicit SimControl(ModuleSim &sim);

    // One command line, without its line end; the answer has no final line end.
    QByteArray execute(const QByteArray &line);

private:
    ModuleSim &m_sim;
};

#endif
