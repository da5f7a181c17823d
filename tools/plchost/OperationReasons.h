#pragma once
// Reasons in words for a read or write that did not return status 0: the
// meaning of the status, made precise by what the plug-in traced during the
// call (the PLC's end code, completion code or NAK error code).

#include "TraceLines.h"
#include <QList>
#include <QString>

// The meaning of a label status; empty for 0.
QString statusReason(int status);

// What the answer bytes of `plugin` say when they are a refusal or not an
// answer at all; empty when they look like a normal answer.
QString answerReason(const QString &plugin, const QByteArray &answer);

// The reason for an operation that ended with `status` after `elapsedMs`,
// with the plug-in lines caught during it.
QString operationReason(int status, const QList<TraceLine> &lines, qint64 elapsedMs);
