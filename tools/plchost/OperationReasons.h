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

// For a read of a bit device through Marrowin that the PLC refused, with no
// plc= key in `par`: FX3U-class interfaces refuse word-unit heads of bit
// devices off a multiple of 16, which plc=fx3u keeps to. Empty otherwise.
QString fx3uReadHint(const QString &driveName, const QString &address, const QString &par);

// For a write refused with status 5: when `address` names a bit of a word
// device (D200.3, W1F.0, TN5.15), the reason that says to write the word;
// empty for any other address.
QString bitOfWordReason(const QString &address);

// For a string write refused with status 5: what is wrong with the text for a
// tag of `count` characters (longer than the tag, or a character above U+00FF,
// which has no byte of its own); empty when the text fits.
QString textWriteReason(const QString &text, int count);
