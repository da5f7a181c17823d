#include "PluginLocator.h"

#include <QDir>
#include <QFileInfo>

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
    QStringList relative{QStringLiteral("../lib/plc-drivers"), QStringLiteral("../lib")};
#ifdef PLCHOST_INSTALL_LIBDIR
    const QString libdir = QStringLiteral(PLCHOST_INSTALL_LIBDIR);
    if (libdir != QLatin1String("lib"))
        relative << QStringLiteral("../%1/plc-drivers").arg(libdir) << QStringLiteral("../%1").arg(libdir);
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
        return direct.absoluteFilePath();
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
    const QStringList files{QStringLiteral("libLib%1.so.1").arg(name), QStringLiteral("libLib%1.so").arg(name)};
    const QStringList dirs = pluginSearchDirs(runnerDir);
    for (const QString &dir : dirs) {
        for (const QString &file : files) {
            const QFileInfo candidate(QDir(dir).filePath(file));
            if (candidate.exists() && candidate.isFile())
                return candidate.absoluteFilePath();
        }
    }
    *error = QStringLiteral("plug-in %1 not found (looked for %2 in %3)")
                 .arg(name, files.join(QStringLiteral(" / ")), dirs.join(QStringLiteral(", ")));
    return QString();
}
