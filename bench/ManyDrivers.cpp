#include "ManyDrivers.h"

#include "BenchOutput.h"
#include "BenchTiming.h"
#include "RawClient.h"
#include "RobustSupport.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <memory>
#include <vector>

using namespace robust;

namespace {

constexpr int DriverCount = 500;
// A simulator process polls all its connections on every wake-up: with 1000 of
// them in one process its own time would swamp the round. Each process serves
// this many drivers and as many raw links.
constexpr int PerSimulator = 25;

// Starts plcsim serving every protocol on a free TCP port; protocol -> endpoint.
QMap<QString, QString> startSimulator(QProcess *sim, QString *error)
{
    QStringList args;
    for (const PluginInfo &info : plugins())
        args << QStringLiteral("--serve") << QLatin1String(info.protocol) + QStringLiteral("@127.0.0.1:0");
    sim->start(QDir(binDir()).filePath(QStringLiteral("plcsim" PLC_NAME_SUFFIX)), args);
    QMap<QString, QString> endpoints;
    if (!sim->waitForStarted(5000)) {
        *error = sim->errorString();
        return endpoints;
    }
    while (endpoints.size() < plugins().size()) {
        if (!sim->canReadLine() && !sim->waitForReadyRead(5000)) {
            *error = QStringLiteral("plcsim printed no endpoints");
            return {};
        }
        while (sim->canReadLine()) {
            const QStringList f = QString::fromLocal8Bit(sim->readLine()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (f.size() == 2)
                endpoints.insert(f.at(0), f.at(1).trimmed());
        }
    }
    return endpoints;
}

void stopSimulator(QProcess *sim)
{
    if (sim->state() == QProcess::NotRunning || sim->processId() <= 0)
        return;
    sim->terminate();
    if (!sim->waitForFinished(3000) && sim->processId() > 0)
        sim->kill();
    sim->waitForFinished(1000);
}

bool readOne(CDriveBaseClass *d)
{
    return d->ReadVariable(QStringLiteral("D0"), DT_UInt16, 1).status == 0;
}

} // namespace

QJsonObject manyDrivers(bool quick, bool *allOk)
{
    QJsonObject result;
    QString error;
    const int simCount = (DriverCount + PerSimulator - 1) / PerSimulator;
    std::vector<std::unique_ptr<QProcess>> sims;
    std::vector<QMap<QString, QString>> endpointsOf;
    auto stopAll = [&] {
        for (auto &s : sims)
            stopSimulator(s.get());
    };
    out(QStringLiteral("\n%1 drivers in one process (%2 of each plug-in), TCP, %3 simulator processes of their own")
            .arg(DriverCount).arg(DriverCount / plugins().size()).arg(simCount));
    for (int i = 0; i < simCount; ++i) {
        sims.push_back(std::make_unique<QProcess>());
        endpointsOf.push_back(startSimulator(sims.back().get(), &error));
        if (endpointsOf.back().isEmpty()) {
            out(QStringLiteral("unavailable (%1)").arg(error));
            stopAll();
            result.insert(QStringLiteral("unavailable"), error);
            return result;
        }
    }

    // One driver of each plug-in first: libraries and Qt's first-use memory are
    // not a driver's.
    std::vector<DriverPtr> drivers;
    auto addDriver = [&](const PluginInfo &info) {
        const QString endpoint = endpointsOf[drivers.size() / PerSimulator % simCount].value(QLatin1String(info.protocol));
        DriverPtr d = loadDriver(QLatin1String(info.name), &error);
        if (!d || d->ConnectDrive(endpoint) != 0 || !readOne(d.get()))
            return false;
        drivers.push_back(std::move(d));
        return true;
    };
    bool ok = true;
    for (const PluginInfo &info : plugins())
        ok = ok && addDriver(info);
    const qint64 before = residentKb();
    for (int i = 0; ok && i < DriverCount; ++i)
        ok = addDriver(plugins().at(i % plugins().size()));
    const qint64 after = residentKb();

    std::vector<std::unique_ptr<RawLink>> links;
    std::vector<RawFrame> frames;
    for (int i = 0; ok && i < DriverCount + plugins().size(); ++i) {
        const QString protocol = QLatin1String(plugins().at(i % plugins().size()).protocol);
        links.push_back(std::make_unique<RawLink>());
        frames.push_back(rawReadFrame(protocol, 0, 1));
        const QString endpoint = endpointsOf[size_t(i) / PerSimulator % simCount].value(protocol);
        ok = links.back()->open(endpoint, &error) && links.back()->exchange(frames.back());
    }
    if (!ok) {
        out(QStringLiteral("unavailable (%1)").arg(error.isEmpty() ? QStringLiteral("a driver failed to connect or read") : error));
        *allOk = false;
        drivers.clear();
        stopAll();
        result.insert(QStringLiteral("unavailable"), error);
        return result;
    }

    const Call pluginRound = [&] {
        bool all = true;
        for (const DriverPtr &d : drivers)
            all = readOne(d.get()) && all;
        return all;
    };
    const Call rawRound = [&] {
        bool all = true;
        for (size_t i = 0; i < links.size(); ++i)
            all = links[i]->exchange(frames[i]) && all;
        return all;
    };
    const Pair p = interleave(pluginRound, rawRound, quick ? Budget{1500, 5, 200} : Budget{8000, 30, 2000});
    *allOk = *allOk && p.failures == 0;
    const double perDriverKiB = double(after - before) / DriverCount;
    out(QStringLiteral("RSS per driver after its first read: %1 KiB (%2 kB for %3 drivers)")
            .arg(perDriverKiB, 0, 'f', 1).arg(after - before).arg(DriverCount));
    out(QStringLiteral("polling round of %1 one-word reads, median/p90/p99 ms: plug-ins %2, raw %3, ratio %4%5")
            .arg(drivers.size()).arg(statsText(p.plugin), statsText(p.raw)).arg(p.ratio(), 0, 'f', 2)
            .arg(p.failures ? QStringLiteral("  %1 FAILED").arg(p.failures) : QString()));
    result = QJsonObject{{QStringLiteral("drivers"), DriverCount},
                         {QStringLiteral("rssPerDriverKiB"), perDriverKiB},
                         {QStringLiteral("roundDrivers"), int(drivers.size())},
                         {QStringLiteral("pluginRoundMs"), json(p.plugin)},
                         {QStringLiteral("rawRoundMs"), json(p.raw)},
                         {QStringLiteral("ratio"), p.ratio()},
                         {QStringLiteral("failures"), p.failures}};
    drivers.clear();
    links.clear();
    stopAll();
    return result;
}
