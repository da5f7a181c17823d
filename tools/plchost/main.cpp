// plchost: a small host for the PLC driver plug-ins. It does what a host
// runtime does with a plug-in (load it, take one driver object from
// getSharedLibrary, call it only through CDriveBaseClass on a thread with a Qt
// event dispatcher, release it) and prints what every call returned.

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "HostCommandLine.h"
#include "LabelJson.h"
#include "PluginLocator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLibrary>
#include <QTimer>

#include <cstdio>

namespace {

enum ExitCode { ExitOk = 0, ExitStatus = 1, ExitUsage = 2, ExitConnect = 3 };

void printLine(const QByteArray &line)
{
    // One line per operation, flushed at once so a script reading the pipe
    // sees each result while later operations still run.
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray connectLine(const char *op, int result)
{
    return QByteArrayLiteral("{\"op\":\"") + op + "\",\"result\":" + QByteArray::number(result) + '}';
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "plchost: %s\n(plchost --help shows the usage)\n", message.toLocal8Bit().constData());
    return ExitUsage;
}

// The interface has no destructor; the driver object is a QObject first, so
// it is deleted through QObject's virtual destructor once the cross cast has
// found that part. Should the cast ever fail (no RTTI for the object), the
// object is left to the end of the process rather than deleted through a
// pointer of the wrong type.
void releaseDriver(CDriveBaseClass *driver)
{
    driver->DestroyFree();
    if (QObject *object = dynamic_cast<QObject *>(driver))
        delete object;
    else
        std::fprintf(stderr, "plchost: driver object is not a QObject; left to process exit\n");
}

void runEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QStringList args = app.arguments();
    args.removeFirst();
    HostCommandLine cmd;
    QString error;
    if (!parseHostCommandLine(args, &cmd, &error))
        return usageError(error);
    if (cmd.help) {
        std::fputs(hostUsageText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    }

    const QString path = locatePlugin(cmd.plugin, QCoreApplication::applicationDirPath(), &error);
    if (path.isEmpty())
        return usageError(error);

    registerLabelMetaTypes();

    // Never unloaded: the plug-in's code may have left metatype or static
    // entries in QtCore's tables that must outlive the library.
    QLibrary library(path);
    if (!library.load())
        return usageError(QStringLiteral("cannot load %1: %2").arg(path, library.errorString()));
    auto entry = reinterpret_cast<GetSharedLibraryFn>(library.resolve("getSharedLibrary"));
    if (!entry)
        return usageError(QStringLiteral("%1 exports no getSharedLibrary").arg(path));
    CDriveBaseClass *driver = entry();
    if (!driver)
        return usageError(QStringLiteral("getSharedLibrary of %1 returned no driver").arg(path));

    if (cmd.hasPar)
        driver->SetConnectPar(cmd.par);
    if (cmd.trace)
        driver->DebugCmd(DebugStart);

    const int connectResult = driver->ConnectDrive(cmd.connectText);
    printLine(connectLine("connect", connectResult));
    if (connectResult != 0) {
        releaseDriver(driver);
        return ExitConnect;
    }

    int exitCode = ExitOk;
    for (const HostOperation &op : qAsConst(cmd.operations)) {
        switch (op.kind) {
        case HostOperation::Info: {
            const QString name = driver->getDriveName();
            const QString version = driver->getversion_number();
            const QString build = driver->DebugCmd(DebugBuildVersion);
            printLine("{\"op\":\"info\",\"driveName\":" + jsonString(name) + ",\"version\":"
                      + jsonString(version) + ",\"buildVersion\":" + jsonString(build) + '}');
            break;
        }
        case HostOperation::Read: {
            const DataType type = static_cast<DataType>(op.typeCode);
            const CLabelVariable result = op.hasCount ? driver->ReadVariable(op.address, type, op.count)
                                                      : driver->ReadVariable(op.address, type);
            printLine(labelLine("read", result));
            if (result.status != 0)
                exitCode = ExitStatus;
            break;
        }
        case HostOperation::Write: {
            const DataType type = static_cast<DataType>(op.typeCode);
            CLabelVariable value;
            value.value = op.value;
            value.dataType = op.typeCode;
            value.count = op.count;
            const bool shortForm = !op.hasCount && op.valueCount == 1;
            const CLabelVariable result = shortForm ? driver->WriteVariable(op.address, type, value)
                                                    : driver->WriteVariable(op.address, type, value, op.count);
            printLine(labelLine("write", result));
            if (result.status != 0)
                exitCode = ExitStatus;
            break;
        }
        case HostOperation::Connect:
            printLine(connectLine("connect", driver->ConnectDrive(op.text)));
            break;
        case HostOperation::Disconnect:
            printLine(connectLine("disconnect", driver->DisConnectDrive()));
            break;
        case HostOperation::Sleep:
            runEventLoopFor(op.milliseconds);
            printLine(QByteArrayLiteral("{\"op\":\"sleep\"}"));
            break;
        }
    }

    releaseDriver(driver);
    return exitCode;
}
