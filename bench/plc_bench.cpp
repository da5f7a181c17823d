// Speed and memory of the four plug-ins against a raw client that sends the
// very same request bytes to the same simulator and takes the answer the moment
// its known length has come. Both run in alternating blocks, so noise from the
// rest of the machine hits both alike; the ratio of the medians is the figure.
//
//   plc_bench [--quick] [--json FILE] [--verbose]
//
// Per plug-in and medium (TCP; pseudo-terminal; pseudo-terminal paced at 9600
// baud by the simulator): one-word read, the largest read one frame carries,
// eight such frames in one call, one-word write; over UDP (the MC plug-ins)
// the one-word read and write. Then an answer the simulator
// sends in two halves with a pause between (fault split:P): the plug-in's time
// past the raw client's, which returns on the last byte. Then 500 drivers in
// one process (a simulator process of their own): resident memory per driver
// and one polling round (a one-word read on each) against the raw client's.
// --verbose shows the simulator's hex log of every frame on stderr.

#include "BenchOutput.h"
#include "BenchTiming.h"
#include "ManyDrivers.h"
#include "PlcSimulator.h"
#include "RawClient.h"
#include "RobustSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace robust;

namespace {

// Largest number of D registers one read frame of each plug-in carries with
// its default settings (the request check below catches a change).
int largestFrameWords(const QString &name)
{
    if (name == QLatin1String("Kelvaro"))
        return 32;   // 64 bytes
    if (name == QLatin1String("Lunetta"))
        return 64;
    if (name == QLatin1String("Marrowin"))
        return 64;   // FX3U-class Ethernet interfaces; the read-words setting allows up to 256
    return 960;      // Norvessa
}

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown");
}

// One medium of one plug-in: the driver and the raw client each on a link of
// its own to the same simulator.
struct Medium {
    QString name;
    QString unavailable;  // why the medium cannot be measured, empty when it can
    DriverPtr driver;
    RawLink raw;
    QString driverSide, rawSide;  // the connection texts, for renew()
    QString protocol;             // the simulator's protocol on this medium

    // Both TCP connections (or UDP sockets) made afresh (see interleave()).
    void renew()
    {
        QString error;
        driver->DisConnectDrive();
        driver->ConnectDrive(driverSide);
        raw.open(rawSide, &error);
    }
};

// The simulator endpoint text of a pseudo-terminal whose bytes the simulator
// paces at `baud` (10 or 11 bit times a character, as on a real line). An
// empty string with *error set when this simulator does not pace lines.
QString pacedPty(PlcSimulator &sim, const QString &protocol, int baud, QString *error)
{
    return sim.addEndpoint(protocol, QStringLiteral("pty,%1").arg(baud), error);
}

void openMedium(PlcSimulator &sim, const PluginInfo &info, const QString &kind, Medium *m)
{
    // "tcp ascii": Norvessa's 3E frames in ASCII code over TCP.
    const bool ascii = kind == QLatin1String("tcp ascii");
    const QString protocol = QLatin1String(info.protocol) + (ascii ? QStringLiteral("-ascii") : QString());
    m->protocol = protocol;
    m->name = kind;
    QString error, driverSide, rawSide;
    if (kind == QLatin1String("tcp") || ascii) {
        driverSide = rawSide = sim.addEndpoint(protocol, QStringLiteral("127.0.0.1:0"), &error);
    } else if (kind == QLatin1String("udp")) {
        rawSide = sim.addEndpoint(protocol, QStringLiteral("udp:127.0.0.1:0"), &error);
        driverSide = rawSide.mid(4);
    } else if (kind == QLatin1String("pty")) {
        driverSide = sim.addEndpoint(protocol, QStringLiteral("pty"), &error);
        rawSide = sim.addEndpoint(protocol, QStringLiteral("pty"), &error);
    } else {
        driverSide = pacedPty(sim, protocol, 9600, &error);
        if (!driverSide.isEmpty())
            rawSide = pacedPty(sim, protocol, 9600, &error);
    }
    if (driverSide.isEmpty() || rawSide.isEmpty()) {
        m->unavailable = error;
        return;
    }
    m->driver = loadDriver(QLatin1String(info.name), &error);
    const bool network = kind == QLatin1String("tcp") || kind == QLatin1String("udp") || ascii;
    if (m->driver && ascii)
        m->driver->SetConnectPar(QStringLiteral("code=ascii"));
    const QString connectText = network ? driverSide : driverSide + QLatin1String(info.serial);
    if (m->driver && kind == QLatin1String("udp"))
        m->driver->SetConnectPar(QStringLiteral("transport=udp"));
    if (!m->driver)
        m->unavailable = error;
    else if (m->driver->ConnectDrive(connectText) != 0)
        m->unavailable = QStringLiteral("the plug-in does not connect to %1").arg(connectText);
    else if (!m->raw.open(rawSide, &error))
        m->unavailable = error;
    else if (network) {
        m->driverSide = connectText;
        m->rawSide = rawSide;
        // One exchange each first: both connections accepted and warm.
        m->driver->ReadVariable(QStringLiteral("D0"), DT_UInt16, 1);
        m->raw.exchange(rawReadFrame(protocol, 0, 1));
    }
}

struct Operation {
    QString name;
    Call plugin, raw;
    QList<RawFrame> frames;  // what the raw client sends, in order
};

QList<Operation> operationsFor(const PluginInfo &info, Medium &m)
{
    const QString protocol = m.protocol;
    const int big = largestFrameWords(QLatin1String(info.name));
    CDriveBaseClass *d = m.driver.get();
    RawLink *raw = &m.raw;
    auto read = [d](int words) { return [d, words] { return d->ReadVariable(QStringLiteral("D0"), DT_UInt16, words).status == 0; }; };
    const RawFrame one = rawReadFrame(protocol, 0, 1);
    const RawFrame write = rawWriteFrame(protocol, 0, 0x1234);
    QList<RawFrame> eight;
    for (int i = 0; i < 8; ++i)
        eight << rawReadFrame(protocol, i * big, big);
    const CLabelVariable value = wordsLabel({0x1234});
    return {
        {QStringLiteral("read 1 word"), read(1), [raw, one] { return raw->exchange(one); }, {one}},
        {QStringLiteral("read %1 words, 1 frame").arg(big), read(big),
         [raw, f = eight.first()] { return raw->exchange(f); }, {eight.first()}},
        {QStringLiteral("read %1 words, 8 frames").arg(8 * big), read(8 * big),
         [raw, eight] {
             for (const RawFrame &f : eight)
                 if (!raw->exchange(f))
                     return false;
             return true;
         },
         eight},
        {QStringLiteral("write 1 word"),
         [d, value] { return d->WriteVariable(QStringLiteral("D0"), DT_UInt16, value, 1).status == 0; },
         [raw, write] { return raw->exchange(write); }, {write}},
    };
}

// The requests the plug-in sends for each operation, taken from the simulator's
// hex log (stderr, sent to a file meanwhile), must be the raw client's bytes.
// Prints the first difference; false when there is one.
bool sameRequests(PlcSimulator &sim, const QList<Operation> &ops)
{
    std::fflush(stderr);
    const int saved = dup(2);
    FILE *log = tmpfile();
    if (saved < 0 || !log || dup2(fileno(log), 2) < 0)
        return false;
    sim.setVerbose(true);
    QByteArray expected;
    for (const Operation &op : ops) {
        op.plugin();
        for (const RawFrame &f : op.frames)
            expected += f.request.toHex(' ').toUpper() + '\n';
    }
    sim.setVerbose(false);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    QByteArray seen;
    QFile file;
    if (file.open(log, QIODevice::ReadOnly)) {
        file.seek(0);
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int at = line.indexOf(" <- ");
            if (at >= 0)
                seen += line.mid(at + 4, line.indexOf("  (", at) - at - 4).trimmed() + '\n';
        }
    }
    fclose(log);
    if (seen == expected)
        return true;
    out(QStringLiteral("request bytes differ:\n plug-in %1\n raw     %2")
            .arg(QString::fromLatin1(seen).replace(QLatin1Char('\n'), QLatin1String(" | ")),
                 QString::fromLatin1(expected).replace(QLatin1Char('\n'), QLatin1String(" | "))));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool quick = false, verbose = false;
    QString jsonPath;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--quick"))
            quick = true;
        else if (args.at(i) == QLatin1String("--verbose"))
            verbose = true;
        else if (args.at(i) == QLatin1String("--json") && i + 1 < args.size())
            jsonPath = args.at(++i);
        else {
            out(QStringLiteral("usage: plc_bench [--quick] [--json FILE] [--verbose]"));
            return 2;
        }
    }
    qInstallMessageHandler(quietHandler);
    registerLabelMetaTypes();
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;  // 500 drivers and 500 raw links
        setrlimit(RLIMIT_NOFILE, &files);
    }

    QJsonObject report;
    const QJsonObject machine{{QStringLiteral("nproc"), QThread::idealThreadCount()},
                              {QStringLiteral("cpu"), cpuModel()},
                              {QStringLiteral("kernel"), QSysInfo::kernelVersion()},
                              {QStringLiteral("qt"), QLatin1String(qVersion())}};
    report.insert(QStringLiteral("machine"), machine);
    report.insert(QStringLiteral("quick"), quick);
    out(QStringLiteral("plc_bench%1: %2 cores, %3, Qt %4; times in ms")
            .arg(quick ? QStringLiteral(" --quick") : QString())
            .arg(QThread::idealThreadCount()).arg(cpuModel(), QLatin1String(qVersion())));

    // ---- exchanges: plug-in x medium x operation
    const Budget fast = quick ? Budget{400, 30, 5000} : Budget{3000, 200, 50000};
    const Budget paced = quick ? Budget{600, 3, 50} : Budget{4000, 10, 400};
    QJsonArray exchanges;
    bool allOk = true;
    {
        PlcSimulator sim;
        sim.setVerbose(verbose);
        out(QStringLiteral("\n%1 %2 %3 %4 %5 %6 %7")
                .arg(QStringLiteral("plug-in"), -9).arg(QStringLiteral("medium"), -9)
                .arg(QStringLiteral("operation"), -26)
                .arg(QStringLiteral("plug-in median/p90/p99"), -23)
                .arg(QStringLiteral("raw median/p90/p99"), -23)
                .arg(QStringLiteral("ratio"), 6).arg(QStringLiteral("n"), 6));
        for (const PluginInfo &info : plugins()) {
            for (const QString &kind : {QStringLiteral("tcp"), QStringLiteral("udp"), QStringLiteral("tcp ascii"),
                                        QStringLiteral("pty"), QStringLiteral("pty 9600")}) {
                const bool udp = kind == QLatin1String("udp");
                const bool ascii = kind == QLatin1String("tcp ascii");
                if ((udp && !QByteArray(info.protocol).startsWith("mc"))
                    || (ascii && qstrcmp(info.protocol, "mc3e") != 0))
                    continue;  // UDP is the MC protocols' only, ASCII code Norvessa's
                Medium m;
                openMedium(sim, info, kind, &m);
                const QString head = QStringLiteral("%1 %2 ").arg(QLatin1String(info.name), -9).arg(kind, -9);
                if (!m.unavailable.isEmpty()) {
                    out(head + QStringLiteral("unavailable (%1)").arg(m.unavailable));
                    exchanges.append(QJsonObject{{QStringLiteral("plugin"), QLatin1String(info.name)},
                                                 {QStringLiteral("medium"), kind},
                                                 {QStringLiteral("unavailable"), m.unavailable}});
                    continue;
                }
                const bool network = kind == QLatin1String("tcp") || udp || ascii;
                const bool slow = !network && kind != QLatin1String("pty");
                QList<Operation> ops = operationsFor(info, m);
                if (udp || ascii)
                    ops = {ops.first(), ops.last()};  // one-word read and write
                if (network && !sameRequests(sim, ops)) {
                    out(head + QStringLiteral("FAILED: the raw client does not send the plug-in's request bytes"));
                    allOk = false;
                    continue;
                }
                for (const Operation &op : ops) {
                    // Eight large frames at 9600 baud take seconds each (Norvessa ~16 s).
                    if (slow && quick && op.name.contains(QLatin1String("8 frames")))
                        continue;
                    const Pair p = network
                                       ? interleave(op.plugin, op.raw, fast, [&m] { m.renew(); })
                                       : interleave(op.plugin, op.raw, slow ? paced : fast);
                    allOk = allOk && p.failures == 0;
                    QJsonObject row{{QStringLiteral("plugin"), QLatin1String(info.name)},
                                    {QStringLiteral("medium"), kind},
                                    {QStringLiteral("operation"), op.name},
                                    {QStringLiteral("pluginMs"), json(p.plugin)},
                                    {QStringLiteral("rawMs"), json(p.raw)},
                                    {QStringLiteral("ratio"), p.ratio()},
                                    {QStringLiteral("failures"), p.failures}};
                    QString wire;
                    if (slow) {
                        // Request and answer on the line, 10 bit times a character (7E1 and 8N1).
                        double wireMs = 0;
                        for (const RawFrame &f : op.frames)
                            wireMs += (f.request.size() + f.answerLength) * 10 * 1000.0 / 9600;
                        row.insert(QStringLiteral("wireMs"), wireMs);
                        wire = QStringLiteral("  wire %1").arg(ms(wireMs));
                    }
                    out(head + QStringLiteral("%1 %2 %3 %4 %5%6%7")
                                   .arg(op.name, -26).arg(statsText(p.plugin), -23).arg(statsText(p.raw), -23)
                                   .arg(p.ratio(), 6, 'f', 2).arg(qMin(p.plugin.n, p.raw.n), 6).arg(wire)
                                   .arg(p.failures ? QStringLiteral("  %1 FAILED").arg(p.failures) : QString()));
                    exchanges.append(row);
                }
            }
        }
        report.insert(QStringLiteral("exchanges"), exchanges);

        // ---- answers in two halves
        const QList<int> pauses = {3, 12};
        const Budget split = quick ? Budget{0, 12, 12} : Budget{0, 60, 60};
        QJsonArray splits;
        out(QStringLiteral("\nanswer in two halves, P ms apart (one-word read): the plug-in returns "
                           "\"after\" ms past the raw client, which returns on the last byte"));
        out(QStringLiteral("%1 %2 %3 %4 %5 %6")
                .arg(QStringLiteral("plug-in"), -9).arg(QStringLiteral("medium"), -9).arg(QStringLiteral("P"), 3)
                .arg(QStringLiteral("plug-in median/p90/p99"), -23)
                .arg(QStringLiteral("raw median/p90/p99"), -23).arg(QStringLiteral("after"), 7));
        for (const PluginInfo &info : plugins()) {
            for (const QString &kind : {QStringLiteral("tcp"), QStringLiteral("pty")}) {
                Medium m;
                openMedium(sim, info, kind, &m);
                if (!m.unavailable.isEmpty())
                    continue;
                const Operation op = operationsFor(info, m).first();
                for (int pause : pauses) {
                    sim.addFault(QStringLiteral("split:%1").arg(pause));
                    const Pair p = interleave(op.plugin, op.raw, split);
                    sim.clearFaults();
                    allOk = allOk && p.failures == 0;
                    const double after = p.plugin.median - p.raw.median;
                    out(QStringLiteral("%1 %2 %3 %4 %5 %6%7")
                            .arg(QLatin1String(info.name), -9).arg(kind, -9).arg(pause, 3)
                            .arg(statsText(p.plugin), -23).arg(statsText(p.raw), -23).arg(ms(after), 7)
                            .arg(p.failures ? QStringLiteral("  %1 FAILED").arg(p.failures) : QString()));
                    splits.append(QJsonObject{{QStringLiteral("plugin"), QLatin1String(info.name)},
                                              {QStringLiteral("medium"), kind},
                                              {QStringLiteral("pauseMs"), pause},
                                              {QStringLiteral("pluginMs"), json(p.plugin)},
                                              {QStringLiteral("rawMs"), json(p.raw)},
                                              {QStringLiteral("afterLastByteMs"), after},
                                              {QStringLiteral("failures"), p.failures}});
                }
            }
        }
        report.insert(QStringLiteral("split"), splits);
    }

    // ---- many drivers
    {
        const QJsonObject many = manyDrivers(quick, &allOk);
        report.insert(QStringLiteral("drivers"), many);
    }

    if (!jsonPath.isEmpty()) {
        QFile f(jsonPath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(QJsonDocument(report).toJson()) < 0) {
            out(QStringLiteral("plc_bench: cannot write %1").arg(jsonPath));
            return 1;
        }
    }
    if (!allOk)
        out(QStringLiteral("plc_bench: some calls failed (see FAILED above)"));
    return allOk ? 0 : 1;
}
