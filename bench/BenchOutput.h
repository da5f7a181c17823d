#pragma once
// Output of the benchmark programs: lines on stdout, flushed at once so a run
// piped into a file shows its progress; only critical messages of the plug-ins
// (which warn about every lost connection) on stderr.

#include <QString>
#include <QtGlobal>
#include <cstdio>

inline void out(const QString &line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

inline void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}
