#pragma once
// Finds the plug-in library the --plugin argument names.

#include <QString>
#include <QStringList>

// The four plug-in names, in their proper case.
QStringList knownPluginNames();

// Directories searched for a plug-in given by name, in order, relative to the
// directory the runner lives in: the runner's own directory (the build tree
// puts plug-ins and tools side by side), then the install tree's
// ../lib/plc-drivers and ../lib (and the multiarch library directory when the
// install uses one). A Qt 6 build looks in plc-drivers-qt6 instead
// (PLC_NAME_SUFFIX), so it finds the plug-ins of its own build only.
QStringList pluginSearchDirs(const QString &runnerDir);

// A path (any text with a "/" or naming an existing file) is taken as it is;
// a known name is looked up as libLib<Name>.so.1, then libLib<Name>.so in
// each search directory (libLib<Name>-qt6.so.1, libLib<Name>-qt6.so in a Qt 6
// build). A library that links the other Qt major version's Qt Core is
// refused. Returns the absolute file path, or an empty string with *error set.
QString locatePlugin(const QString &argument, const QString &runnerDir, QString *error);
