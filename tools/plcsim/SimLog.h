#pragma once
// The simulator's --verbose log: every line carries the milliseconds since the
// simulator started, and every request gets a one-line summary a person can
// read without decoding the frame (command, device, count, result): "read words
// D100 points 1 -> end code 0000". That summary is each protocol's business (its
// row's logSummary in SimProtocolRegistry, reading only the bytes that are
// there); the helpers below are what the summaries share.

#include <QByteArray>
#include <QString>

namespace SimLog {

// Writes "   1234 ms  TEXT" to stderr.
void line(const QString &text);

// "WHAT -> RESULT": RESULT is "no answer" for an empty answer, else `result`,
// or when that is empty what the answer's first byte says (ACK, NAK with the
// computer link's error code, STX and the length) or its length.
QString summary(const QString &what, const QByteArray &answer, const QString &result = QString());

// v as `digits` (at least) uppercase hexadecimal digits.
QString hex(int v, int digits);

} // namespace SimLog
