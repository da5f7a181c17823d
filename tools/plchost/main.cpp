// plchost: a small host for the PLC driver plug-ins. It does what a host
// runtime does with a plug-in (load it, take one driver object from
// getSharedLibrary, call it only through CDriveBaseClass on a thread with a Qt
// event dispatcher, release it) and prints what every call returned.

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "ConnectionChecks.h"
#include "HostCommandLine.h"
#include "LabelJson.h"
#include "OperationReasons.h"
#include "PluginLocator.h"
#include "TraceLines.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLibrary>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

enum ExitCode { ExitOk = 0, ExitStatus = 1, ExitUsage = 2, ExitConnect = 3 };

// Set by SIGINT: the running operation finishes, then plchost stops. The
// handler resets itself, so a second SIGINT ends plchost at once.
volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

void printLine(const QByteArray &line)
{
    // One line per operation, flushed at once so a script reading the pipe
    // sees each result while later operations still run.
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printNote(const QString &what, const QString &text)
{
    std::fprintf(stderr, "plchost: %s: %s\n", what.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The JSON line, and the reason in words on stderr as well.
void printResult(const QByteArray &line, const QString &what, const QString &reason)
{
    printLine(withReason(line, reason));
    if (!reason.isEmpty())
        printNote(what, reason);
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

// Runs the event loop for `milliseconds`, or less when SIGINT comes.
void runEventLoopFor(qint64 milliseconds)
{
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(int(qMin<qint64>(milliseconds, 1 << 30)), &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&loop] {
        if (g_interrupted)
            loop.quit();
    });
    watch.start(50);
    loop.exec();
}

// One driver object and the operations run on it.
class Session
{
public:
    Session(CDriveBaseClass *driver, const HostCommandLine &cmd) : m_driver(driver), m_cmd(cmd) {}

    int connect(const QString &text)
    {
        TraceLines::takeCaught();
        const int result = m_driver->ConnectDrive(text);
        printResult(connectLine("connect", result), QStringLiteral("connect"),
                    result == 0 ? QString() : connectFailureReason(result, text));
        return result;
    }

    // Runs the operation list once. The exit code of the round; *lost is set
    // when some read or write found the link not connected.
    int runRound(bool *ranAny, bool *lost)
    {
        int exitCode = ExitOk;
        for (const HostOperation &op : m_cmd.operations) {
            if (g_interrupted)
                break;
            *ranAny = true;
            const int status = run(op);
            if (status != 0)
                exitCode = ExitStatus;
            *lost = *lost || status == 9;
        }
        return exitCode;
    }

private:
    // The label status of a read or write; 0 for the other operations.
    int run(const HostOperation &op)
    {
        switch (op.kind) {
        case HostOperation::Info: {
            const QString name = m_driver->getDriveName();
            const QString version = m_driver->getversion_number();
            const QString build = m_driver->DebugCmd(DebugBuildVersion);
            printLine("{\"op\":\"info\",\"driveName\":" + jsonString(name) + ",\"version\":" + jsonString(version)
                      + ",\"buildVersion\":" + jsonString(build) + '}');
            return 0;
        }
        case HostOperation::Read:
        case HostOperation::Write:
            return transfer(op);
        case HostOperation::Connect:
            connect(op.text);
            return 0;
        case HostOperation::Disconnect: {
            const int result = m_driver->DisConnectDrive();
            printResult(connectLine("disconnect", result), QStringLiteral("disconnect"),
                        result == 0 ? QString() : disconnectReason(result));
            return 0;
        }
        case HostOperation::Sleep:
            runEventLoopFor(op.milliseconds);
            printLine(QByteArrayLiteral("{\"op\":\"sleep\"}"));
            return 0;
        }
        return 0;
    }

    int transfer(const HostOperation &op)
    {
        const bool isWrite = op.kind == HostOperation::Write;
        const DataType type = static_cast<DataType>(op.typeCode);
        TraceLines::takeCaught();
        QElapsedTimer clock;
        clock.start();
        CLabelVariable result;
        if (isWrite) {
            CLabelVariable value;
            value.value = op.value;
            value.dataType = op.typeCode;
            value.count = op.count;
            // A string always goes with its tag length (COUNT or the text's).
            const bool shortForm = !op.hasCount && op.valueCount == 1
                                   && elementKindForCode(op.typeCode) != ElementKind::String;
            result = shortForm ? m_driver->WriteVariable(op.address, type, value)
                               : m_driver->WriteVariable(op.address, type, value, op.count);
        } else {
            result = op.hasCount ? m_driver->ReadVariable(op.address, type, op.count)
                                 : m_driver->ReadVariable(op.address, type);
        }
        const qint64 elapsed = clock.elapsed();
        const char *name = isWrite ? "write" : "read";
        QString reason =
            result.status == 0 ? QString() : operationReason(result.status, TraceLines::takeCaught(), elapsed);
        if (!isWrite && reason.startsWith(QLatin1String("PLC refused the request"))) {
            const QString hint = fx3uReadHint(m_driver->getDriveName(), op.address, m_cmd.par);
            if (!hint.isEmpty())
                reason += QStringLiteral("; ") + hint;
        }
        if (isWrite && result.status == 5) {
            // What plchost can tell beyond the status: a bit of a word, or a
            // text that does not fit its tag.
            QString more = bitOfWordReason(op.address);
            if (more.isEmpty() && elementKindForCode(op.typeCode) == ElementKind::String)
                more = textWriteReason(op.value.value<QList<QString>>().value(0), op.count);
            if (!more.isEmpty())
                reason = more;
        }
        printResult(labelLine(name, result), QStringLiteral("%1 %2").arg(QLatin1String(name), op.address), reason);
        return result.status;
    }

    CDriveBaseClass *m_driver;
    const HostCommandLine &m_cmd;
};

// Rounds of the operation list: once, or --repeat times with a reconnect
// after a lost link. The exit code of the last round.
int runRounds(Session &session, const HostCommandLine &cmd)
{
    int lastExit = ExitOk;
    bool lost = false;
    int failedConnects = 0;
    QElapsedTimer roundClock;
    for (int round = 0; cmd.repeat == 0 || round < cmd.repeat; ++round) {
        if (round > 0) {
            qint64 pause = cmd.intervalMs - roundClock.elapsed();
            if (lost)
                pause = qMax<qint64>(pause, qMin(5000, 200 << qMin(failedConnects, 5)));
            runEventLoopFor(pause);
        }
        if (g_interrupted)
            break;
        roundClock.start();
        if (lost) {
            if (session.connect(cmd.connectText) != 0) {
                ++failedConnects;
                lastExit = ExitConnect;
                continue;
            }
            failedConnects = 0;
            lost = false;
        }
        bool ranAny = false;
        const int roundExit = session.runRound(&ranAny, &lost);
        if (ranAny)
            lastExit = roundExit;
        lost = lost && cmd.polling;
    }
    return lastExit;
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
    if (cmd.version) {
        std::printf("plchost %s (Qt %s)\n", PLCHOST_VERSION, QT_VERSION_STR);
        return ExitOk;
    }
    if (cmd.help) {
        std::fputs(hostUsageText().toLocal8Bit().constData(), stdout);
        return ExitOk;
    }

    const QString path = locatePlugin(cmd.plugin, QCoreApplication::applicationDirPath(), &error);
    if (path.isEmpty())
        return usageError(error);

    if (cmd.hasConnect) {
        for (const QString &w : connectionWarnings(cmd.connectText, QFileInfo(path).fileName(), cmd.hasPar, cmd.par))
            printNote(QStringLiteral("warning"), w);
    }

    registerLabelMetaTypes();
    TraceLines::install(!cmd.trace ? TraceOutput::Quiet : cmd.rawTrace ? TraceOutput::Raw : TraceOutput::Readable);

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

    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);

    if (cmd.hasPar)
        driver->SetConnectPar(cmd.par);
    // The trace is always on: the PLC's error codes are only in the answer
    // lines. Without --trace the handler keeps them off stderr.
    driver->DebugCmd(DebugStart);

    Session session(driver, cmd);
    if (cmd.hasConnect && session.connect(cmd.connectText) != 0) {
        releaseDriver(driver);
        return ExitConnect;
    }
    const int exitCode = runRounds(session, cmd);
    releaseDriver(driver);
    return exitCode;
}
