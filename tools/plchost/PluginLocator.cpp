#include "PluginLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The plug-ins of the other Qt build: the Qt 5 plchost never loads a Qt 6
// plug-in and the other way round (two Qt libraries in one process, and a
// value container whose QVariant has another layout).
constexpr int kOtherQtMajor = QT_VERSION_MAJOR == 5 ? 6 : 5;

// The shared object name of the other build's Qt Core, as the library's
// dynamic section names it when the library links it.
QByteArray otherQtCore()
{
    return QByteArrayLiteral("libQt") + QByteArray::number(kOtherQtMajor) + QByteArrayLiteral("Core.so.")
           + QByteArray::number(kOtherQtMajor);
}

// The path when the file may be loaded; else an empty string with *error set.
QString checkQtBuild(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path; // not readable: loading it gives the loader's own reason
    const QByteArray needle = otherQtCore();
    // The dynamic section lies near the start; 64 MiB covers any plug-in.
    const QByteArray bytes = file.read(qint64(64) << 20);
    if (!bytes.contains(needle))
        return path;
    *error = QStringLiteral("plug-in %1 was built with Qt %2 (it needs %3) and this plchost with Qt %4: "
                            "load it with plchost%5")
                 .arg(path)
                 .arg(kOtherQtMajor)
                 .arg(QString::fromLatin1(needle))
                 .arg(QT_VERSION_MAJOR)
                 .arg(kOtherQtMajor == 6 ? QStringLiteral("-qt6") : QString());
    return QString();
}

} // namespace

QStringList knownPluginNames()
{
    return {QStringLiteral("Kelvaro"), QStringLiteral("Lunetta"), QStringLiteral("Marrowin"),
            QStringLiteral("Norvessa")};
}

QStringList pluginSearchDirs(const QString &runnerDir)
{
    QStringList dirs;
    const QDir base(runnerDir);
    dirs << QDir::cleanPath(base.absolutePath());
    const QString pluginDir = QStringLiteral("plc-drivers" PLC_NAME_SUFFIX);
    QStringList relative{QStringLiteral("../lib/") + pluginDir, QStringLiteral("../lib")};
#ifdef PLCHOST_INSTALL_LIBDIR
    const QString libdir = QStringLiteral(PLCHOST_INSTALL_LIBDIR);
    if (libdir != QLatin1String("lib"))
        relative << QStringLiteral("../%1/%2").arg(libdir, pluginDir) << QStringLiteral("../%1").arg(libdir);
#endif
    for (const QString &r : relative)
        dirs << QDir::cleanPath(base.absoluteFilePath(r));
    return dirs;
}

QString locatePlugin(const QString &argument, const QString &runnerDir, QString *error)
{
    const QFileInfo direct(argument);
    if (argument.contains(QLatin1Char('/')) || (direct.exists() && direct.isFile())) {
        if (!direct.exists() || !direct.isFile()) {
            *error = QStringLiteral("plug-in file %1 does not exist").arg(argument);
            return QString();
        }
        return checkQtBuild(direct.absoluteFilePath(), error);
    }

    QString name;
    for (const QString &known : knownPluginNames()) {
        if (argument.compare(known, Qt::CaseInsensitive) == 0)
            name = known;
    }
    if (name.isEmpty()) {
        *error = QStringLiteral("unknown plug-in \"%1\": give a path or one of %2")
                     .arg(argument, knownPluginNames().join(QStringLiteral(", ")));
        return QString();
    }
    const QStringList files{QStringLiteral("libLib%1" PLC_NAME_SUFFIX ".so.1").arg(name),
                            QStringLiteral("libLib%1" PLC_NAME_SUFFIX ".so").arg(name)};
    const QStringList dirs = pluginSearchDirs(runnerDir);
    for (const QString &dir : dirs) {
        for (const QString &file : files) {
            const QFileInfo candidate(QDir(dir).filePath(file));
            if (candidate.exists() && candidate.isFile())
                return checkQtBuild(candidate.absoluteFilePath(), error);
        }
    }
    *error = QStringLiteral("plug-in %1 not found (looked for %2 in %3)")
                 .arg(name, files.join(QStringLiteral(" / ")), dirs.join(QStringLiteral(", ")));
    return QString();
}
