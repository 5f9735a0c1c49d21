// module-sim's control commands, a line at a time, on a fresh simulator:
// every answer is "ok", "ok <value>" or "error <why>" on one line, or
// "ok <n>" and exactly n lines after it.
#include "steps.h"

#include "sim/modulesim.h"
#include "sim/simcontrol.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    ModuleSim sim;
    SimControl control(sim);
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    for (const QByteArray &line : input.split('\n')) {
        const QByteArray answer = control.execute(line);
        const QList<QByteArray> lines = answer.split('\n');
        FUZZ_CHECK(answer == "ok" || answer.startsWith("ok ") || answer.startsWith("error "));
        if (lines.size() > 1)
            FUZZ_CHECK(lines.first() == "ok " + QByteArray::number(lines.size() - 1));
    }
    return 0;
}
