#pragma once
// What plchost says about a connection on its own: warnings about a
// connection text before anything is opened, and the cause of a failed
// connect, which the plug-ins only give as a number.

#include <QString>
#include <QStringList>

// Warnings about `connectText` (and `par` for Lunetta, when hasPar): texts the
// plug-in takes in another sense than a reader would. Nothing is refused.
QStringList connectionWarnings(const QString &connectText, const QString &pluginName, bool hasPar,
                               const QString &par);

// The cause of ConnectDrive(`connectText`) answering `result` (not 0). Looks
// at the text, the serial device and, for a TCP text, tries one connection
// of its own.
QString connectFailureReason(int result, const QString &connectText);

// The reason for a DisConnectDrive result other than 0.
QString disconnectReason(int result);
