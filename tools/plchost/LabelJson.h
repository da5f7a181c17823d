#pragma once
// JSON lines the host runner prints: one object per operation.

#include "CLabelVariable.h"
#include <QByteArray>
#include <QString>

// A JSON string literal (quotes included); a null QString gives null.
QByteArray jsonString(const QString &text);

// The elements of a label's value as a JSON array, or null. The list the
// QVariant actually holds decides the element form, so a driver that stores
// another list type than dataType names is shown as it is; anything that is not
// one of the twelve element lists (or an invalid value) gives null.
QByteArray jsonValue(const QVariant &value);

// ISO 8601 local time with milliseconds, or null.
QByteArray jsonTimestamp(const QDateTime &timestamp);

// {"op":OP,"address":A,"dataType":T,"count":N,"status":S,"timestamp":TS,"value":V}
QByteArray labelLine(const char *op, const CLabelVariable &label);

// `line` (a JSON object) with "reason":REASON added as its last field; the
// line unchanged when reason is empty.
QByteArray withReason(const QByteArray &line, const QString &reason);

// Shortest decimal forms that read back to the same float / double;
// "nan", "inf", "-inf" (as JSON strings) for the non-finite values.
QByteArray jsonFloat(float v);
QByteArray jsonDouble(double v);
