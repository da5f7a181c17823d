#pragma once
// The simulator's --verbose log: every line carries the milliseconds since the
// simulator started, and every request gets a one-line summary a person can
// read without decoding the frame (command, device, count, result).

#include <QByteArray>
#include <QString>

namespace SimLog {

// Writes "   1234 ms  TEXT" to stderr.
void line(const QString &text);

// "word read D100 count 2 -> end code 0000" for a request of `protocol`
// (fxport, fxlink, mc1e, mc3e) and the answer the simulator gives it (empty:
// none). Reads only the bytes that are there.
QString requestSummary(const QString &protocol, const QByteArray &request, const QByteArray &answer);

} // namespace SimLog
