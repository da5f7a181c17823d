#pragma once
// Shared by the robustness tests and the soak benchmark: the four plug-ins
// loaded from the built libraries the way a host loads them (QLibrary,
// getSharedLibrary, calls only through CDriveBaseClass), the simulator protocol
// and serial settings of each, and the value helpers the checks need.

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace robust {

struct PluginInfo {
    const char *name;      // "Kelvaro"
    const char *protocol;  // the simulator's protocol name
    const char *serial;    // serial settings the simulator's pty expects
};

inline const QList<PluginInfo> &plugins()
{
    static const QList<PluginInfo> list = {
        {"Kelvaro", "fxport", ",9600,7,1,E"},
        {"Lunetta", "fxlink", ",9600,7,1,E"},
        {"Marrowin", "mc1e", ",9600,8,1,N"},
        {"Norvessa", "mc3e", ",9600,8,1,N"},
    };
    return list;
}

inline QString binDir()
{
    const QByteArray env = qgetenv("PLC_BIN_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QCoreApplication::applicationDirPath();
}

// Releases a driver the way plchost does: DestroyFree, then delete through
// QObject's virtual destructor (the interface has none).
struct DriverRelease {
    void operator()(CDriveBaseClass *d) const
    {
        if (!d)
            return;
        d->DestroyFree();
        if (QObject *o = dynamic_cast<QObject *>(d))
            delete o;
    }
};
using DriverPtr = std::unique_ptr<CDriveBaseClass, DriverRelease>;

// Creates a driver object of the named plug-in from libLib<Name>.so
// (libLib<Name>-qt6.so in a Qt 6 build) in the build's binary directory; null
// with *error set when it cannot.
inline DriverPtr loadDriver(const QString &name, QString *error)
{
    const QString path = QDir(binDir()).filePath(QStringLiteral("libLib%1" PLC_NAME_SUFFIX ".so").arg(name));
    // The library stays loaded after the QLibrary object is gone (only unload()
    // would unload it): the driver objects and their meta objects live in it.
    QLibrary lib(path);
    if (!lib.load()) {
        *error = lib.errorString();
        return DriverPtr();
    }
    auto entry = reinterpret_cast<GetSharedLibraryFn>(lib.resolve("getSharedLibrary"));
    if (!entry) {
        *error = QStringLiteral("%1 exports no getSharedLibrary").arg(path);
        return DriverPtr();
    }
    return DriverPtr(entry());
}

inline CLabelVariable wordsLabel(const QList<unsigned short> &words)
{
    CLabelVariable l;
    l.value = QVariant::fromValue(words);
    l.dataType = DT_UInt16;
    l.count = words.size();
    return l;
}

inline QList<unsigned short> wordsOf(const CLabelVariable &l)
{
    return l.value.value<QList<unsigned short>>();
}

inline QString wordsText(const QList<unsigned short> &words)
{
    QStringList parts;
    for (unsigned short w : words)
        parts << QString::number(w, 16).rightJustified(4, QLatin1Char('0'));
    return parts.join(QLatin1Char(' '));
}

// Resident set size of this process in kB (VmRSS), 0 when unreadable.
inline qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace robust
