// The child of the interrupted-update test: swaps the staged files of a
// folder in and, at the given step of the swap, dies by SIGKILL ("kill") or
// says "paused" and waits to be killed ("pause"). It links Qt Core alone.
//   swap_kill_child FOLDER kill|pause STEP NAME:MODE...
#include "updater/update_journal.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 5)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool pause = QByteArray(argv[2]) == "pause";
    const int stopAt = QByteArray(argv[3]).toInt();
    QList<UpdateJournal::TSwapFile> files;
    for (int i = 4; i < argc; ++i) {
        const QList<QByteArray> parts = QByteArray(argv[i]).split(':');
        files.append({QString::fromLocal8Bit(parts.value(0)), parts.value(1).toInt(nullptr, 8)});
    }
    int step = 0;
    UpdateJournal::TSwapHooks hooks;
    hooks.afterStep = [&] {
        if (++step != stopAt)
            return;
        if (!pause)
            ::raise(SIGKILL);
        std::printf("paused\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    };
    const UpdateJournal::TSwapResult result =
        UpdateJournal::Swap(folder, QStringLiteral("2.0"), QStringLiteral("2.5"), files, hooks);
    std::printf("%s %d steps\n", result.ok ? "installed" : "failed", step);
    return result.ok ? 0 : 1;
}
