#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// What a command-line tool of the project did: its exit code (-1 when it
// crashed or did not finish within a minute) and what it printed.
struct TToolRun
{
    int exit = -1;
    QString out;
    QString err;
};

inline TToolRun RunTool(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    TToolRun run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exit = p.exitCode();
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}
