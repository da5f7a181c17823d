#pragma once
// The plug-ins' trace and warning lines as plchost sees them: a Qt message
// handler takes every line while plchost runs, keeps the lines of the running
// operation (the PLC's error code is only in them) and prints them in the form
// the user asked for.

#include <QByteArray>
#include <QList>
#include <QString>

// One plug-in line, taken apart. A frame line is a request ("读命令",
// "写命令") or an answer ("响应") with its bytes; anything else from a
// plug-in (warnings, lost connections) keeps its text only.
struct TraceLine {
    QString plugin;       // "Norvessa" from the "lib[Norvessa]" prefix; empty: not a plug-in line
    bool frame = false;
    bool request = false; // frame: request (true) or answer
    QString area;         // frame: the address text
    QByteArray bytes;     // frame: the frame's bytes
    QString text;         // the whole line, without the quotes of the message log

    // A message as the plug-ins write it (a quoted QString in the message
    // log). Lines of anything else give an empty plugin.
    static TraceLine parse(const QString &message);
};

enum class TraceOutput {
    Quiet,    // plug-in frame lines dropped, everything else as Qt prints it
    Readable, // time, direction, spaced hex (and characters for the FX ASCII plug-ins)
    Raw       // every line as Qt prints it
};

namespace TraceLines {

// Installs the handler; lines go to stderr in the given form from now on.
void install(TraceOutput output);
// The plug-in lines caught since the last call, oldest first.
QList<TraceLine> takeCaught();
// The readable form of one line, `elapsedMs` after the start.
QString readable(const TraceLine &line, qint64 elapsedMs);
// "02 45 30" / "<STX>E0" forms of frame bytes.
QString spacedHex(const QByteArray &bytes);
QString asciiText(const QByteArray &bytes);

} // namespace TraceLines
