#include "PlcSimulator.h"
#include "PlcMemory.h"
#include "SimFaults.h"
#include "SimLinks.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

#include <QAtomicInt>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QVector>

#include <cstdio>
#include <map>
#include <sys/socket.h>

namespace {

// Bytes of the same length as an answer that no host can take for one: the first
// byte is neither STX nor ACK nor an MC answer subheader, and an MC end code in
// them is never zero.
QByteArray garbageFor(const QByteArray &answer)
{
    QByteArray out(answer.size(), 0);
    for (int i = 0; i < out.size(); ++i)
        out[i] = char(i % 2 == 0 ? 0xFF : 0xA5);
    return out;
}

// HOST:PORT of a TCP or UDP endpoint into ep->address and ep->port.
template <class Endpoint>
bool parseHostPort(const QString &endpoint, Endpoint *ep, QString *error)
{
    const int colon = endpoint.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        *error = QStringLiteral("endpoint \"%1\" is neither HOST:PORT, udp:HOST:PORT, pty nor a device path").arg(endpoint);
        return false;
    }
    QString host = endpoint.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int port = endpoint.mid(colon + 1).toInt(&ok, 10);
    if (!ok || port < 0 || port > 65535) {
        *error = QStringLiteral("bad port in \"%1\"").arg(endpoint);
        return false;
    }
    QHostAddress address;
    if (host.isEmpty() || host == QLatin1String("*"))
        address = QHostAddress::Any;
    else if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(host)) {
        *error = QStringLiteral("bad address \"%1\" (numeric address or localhost)").arg(host);
        return false;
    }
    ep->address = address;
    ep->port = quint16(port);
    return true;
}

// The name of a TCP or UDP endpoint: "127.0.0.1:40123", "[::1]:40123".
QString shownHostPort(const QHostAddress &address, quint16 port)
{
    QString shown = address == QHostAddress::Any ? QStringLiteral("0.0.0.0") : address.toString();
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        shown = QLatin1Char('[') + shown + QLatin1Char(']');
    return shown + QLatin1Char(':') + QString::number(port);
}

QString hexDump(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex(' ')).toUpper();
}

} // namespace

// One endpoint as the user named it, with what serves it.
class SimEndpoint : public QObject
{
public:
    SimEndpoint(const SimProtocol *protocol, QObject *parent) : QObject(parent), protocol(protocol) {}
    const SimProtocol *protocol;   // its row of the registry
    QString requested;      // as given to addEndpoint
    QString name;           // as returned: real port or path
    std::unique_ptr<ProtocolHandler> handler;
    QTcpServer *server = nullptr;
    QHostAddress address;
    quint16 port = 0;
    SimLink *line = nullptr;  // pty or serial
};

// Lives in the worker thread: owns endpoints and connections, answers requests.
class SimEngine : public QObject
{
public:
    explicit SimEngine(SimulatorWorker *w) : w(w) {}
    ~SimEngine() override = default;

    QString addEndpoint(const QString &protocol, const QString &endpoint, QString *error);
    void stopEndpoint(const QString &endpoint);
    bool restartEndpoint(const QString &endpoint);
    void shutdown();

private:
    SimEndpoint *find(const QString &endpoint) const;
    bool listen(SimEndpoint *ep, QString *error);
    void attach(SimEndpoint *ep, SimLink *link);
    void process(SimEndpoint *ep, SimLink *link);
    void deliver(SimEndpoint *ep, SimLink *link, const QByteArray &answer, const SimFault *fault);
    void log(SimLink *link, const char *dir, const QByteArray &bytes, const QString &note = QString());
    void logText(const QString &endpoint, const QString &text);
    bool isVerbose() const;

    SimulatorWorker *w;
    QVector<SimEndpoint *> m_endpoints;
};

class SimulatorWorker
{
public:
    PlcMemory memory;
    QThread thread;
    SimEngine *engine = nullptr;

    mutable QMutex configLock;
    QVector<SimFault> faults;
    int station = 0;
    SimModel model = SimModel::Any;
    bool verbose = false;
    QAtomicInt requests {0};
    QAtomicInt connections {0};

    template <typename F>
    void run(F &&f)
    {
        if (QThread::currentThread() == &thread)
            f();
        else
            QMetaObject::invokeMethod(engine, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
};

// ---------------------------------------------------------------- engine

SimEndpoint *SimEngine::find(const QString &endpoint) const
{
    for (SimEndpoint *ep : m_endpoints)
        if (ep->name == endpoint || ep->requested == endpoint)
            return ep;
    return nullptr;
}

QString SimEngine::addEndpoint(const QString &protocolIn, const QString &endpoint, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    const SimProtocol *protocol = SimProtocolRegistry::find(protocolIn.trimmed());
    if (!protocol)
        return fail(QStringLiteral("unknown protocol \"%1\" (%2)").arg(protocolIn, SimProtocolRegistry::nameList()));
    auto *ep = new SimEndpoint(protocol, this);
    ep->handler = protocol->create();
    ep->requested = endpoint;
    QString why;

    // pty[,BAUD]: the line speed paces what the simulator sends.
    QString lineEndpoint = endpoint;
    int baud = 0;
    if (endpoint.startsWith(QLatin1String("pty")) && endpoint.contains(QLatin1Char(','))) {
        bool ok = false;
        baud = endpoint.section(QLatin1Char(','), -1).toInt(&ok, 10);
        if (!ok || baud < 50 || baud > 4000000)
            return delete ep, fail(QStringLiteral("bad line speed in \"%1\"").arg(endpoint));
        lineEndpoint = endpoint.section(QLatin1Char(','), 0, -2);
    }

    if (lineEndpoint == QLatin1String("pty")) {
        PtyLink *pty = PtyLink::open(ep, &why);
        if (!pty) {
            delete ep;
            return fail(why);
        }
        pty->setLineSpeed(baud);
        ep->line = pty;
        ep->name = pty->slavePath();
        attach(ep, pty);
    } else if (endpoint.startsWith(QLatin1Char('/'))) {
        SerialLink *serial = SerialLink::open(endpoint, protocol->serial, ep, &why);
        if (!serial) {
            delete ep;
            return fail(why);
        }
        ep->line = serial;
        ep->name = serial->endpoint();
        attach(ep, serial);
    } else if (endpoint.startsWith(QLatin1String("udp:"))) {
        if (!parseHostPort(endpoint.mid(4), ep, &why))
            return delete ep, fail(why);
        UdpPort *udp = UdpPort::open(ep->address, ep->port, ep, &why);
        if (!udp)
            return delete ep, fail(why);
        ep->port = udp->port();
        ep->name = QStringLiteral("udp:") + shownHostPort(ep->address, ep->port);
        udp->setName(ep->name);
        connect(udp, &UdpPort::newLink, this, [this, ep](UdpLink *link) {
            logText(link->endpoint(), QStringLiteral("first datagram"));
            attach(ep, link);
        });
    } else {
        if (!parseHostPort(endpoint, ep, &why))
            return delete ep, fail(why);
        ep->server = new QTcpServer(ep);
        if (!listen(ep, &why)) {
            delete ep;
            return fail(why);
        }
        ep->port = ep->server->serverPort();
        ep->name = shownHostPort(ep->address, ep->port);
        connect(ep->server, &QTcpServer::newConnection, ep, [this, ep] {
            while (QTcpSocket *s = ep->server->nextPendingConnection()) {
                w->connections.fetchAndAddOrdered(1);
                const QString peer = s->peerAddress().toString() + QLatin1Char(':') + QString::number(s->peerPort());
                const QString name = ep->name + QStringLiteral(" client ") + peer;
                TcpLink *link = new TcpLink(s, name, ep);
                logText(name, QStringLiteral("connected"));
                connect(link, &QObject::destroyed, this,
                        [this, name] { logText(name, QStringLiteral("disconnected")); });
                attach(ep, link);
            }
        });
    }
    m_endpoints.append(ep);
    return ep->name;
}

bool SimEngine::listen(SimEndpoint *ep, QString *error)
{
    // Many clients may connect at once (a soak, a host's reconnects): a deep
    // listen backlog, and no pause in accepting them.
    constexpr int Backlog = 512;
    ep->server->setMaxPendingConnections(Backlog);
    if (ep->server->listen(ep->address, ep->port)) {
        ::listen(int(ep->server->socketDescriptor()), Backlog);
        return true;
    }
    if (error)
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(ep->address.toString()).arg(ep->port).arg(ep->server->errorString());
    return false;
}

void SimEngine::attach(SimEndpoint *ep, SimLink *link)
{
    connect(link, &SimLink::received, this, [this, ep](SimLink *l) { process(ep, l); });
}

void SimEngine::stopEndpoint(const QString &endpoint)
{
    SimEndpoint *ep = find(endpoint);
    if (!ep || !ep->server)
        return;
    ep->server->close();
    for (TcpLink *link : ep->findChildren<TcpLink *>(QString(), Qt::FindDirectChildrenOnly))
        link->hangUp();
}

bool SimEngine::restartEndpoint(const QString &endpoint)
{
    SimEndpoint *ep = find(endpoint);
    if (!ep || !ep->server)
        return false;
    if (ep->server->isListening())
        return true;
    return listen(ep, nullptr);
}

void SimEngine::shutdown()
{
    for (SimEndpoint *ep : m_endpoints)
        delete ep;
    m_endpoints.clear();
}

void SimEngine::log(SimLink *link, const char *dir, const QByteArray &bytes, const QString &note)
{
    bool verbose;
    {
        QMutexLocker l(&w->configLock);
        verbose = w->verbose;
    }
    if (!verbose)
        return;
    QString line = QStringLiteral("plcsim %1 %2 %3").arg(link->endpoint(), QLatin1String(dir), hexDump(bytes));
    if (!note.isEmpty())
        line += QStringLiteral("  (") + note + QLatin1Char(')');
    SimLog::line(line);
}

bool SimEngine::isVerbose() const
{
    QMutexLocker l(&w->configLock);
    return w->verbose;
}

void SimEngine::logText(const QString &endpoint, const QString &text)
{
    if (isVerbose())
        SimLog::line(QStringLiteral("plcsim %1 %2").arg(endpoint, text));
}

void SimEngine::process(SimEndpoint *ep, SimLink *link)
{
    ServeContext ctx;
    ctx.memory = &w->memory;
    {
        QMutexLocker l(&w->configLock);
        ctx.station = w->station;
        ctx.model = w->model;
    }
    QPointer<SimLink> guard(link);
    while (guard && !link->buffer.isEmpty()) {
        const Served s = ep->handler->serve(link->buffer, ctx);
        if (s.kind == Served::NeedMore)
            break;
        const int used = qBound(1, s.consumed, link->buffer.size());
        const QByteArray request = link->buffer.left(used);
        link->buffer.remove(0, used);

        if (s.kind == Served::Discard) {
            log(link, "<-", request, QStringLiteral("dropped"));
            continue;
        }
        if (s.kind == Served::Control) {
            log(link, "<-", request, QStringLiteral("control"));
            deliver(ep, link, s.answer, nullptr);
            continue;
        }
        link->noteRequest(request.size());
        const int number = w->requests.fetchAndAddOrdered(1) + 1;
        log(link, "<-", request, QStringLiteral("request %1").arg(number));

        // Always on stderr: a refusal of the model is what a user of it looks for.
        if (!s.rule.isEmpty())
            SimLog::line(QStringLiteral("plcsim %1 request %2 refused by the model: %3")
                             .arg(link->endpoint()).arg(number).arg(s.rule));
        SimFault fault;
        bool faulty = false;
        if (s.normal) {
            QMutexLocker l(&w->configLock);
            for (const SimFault &f : qAsConst(w->faults))
                if (f.hits(number)) {
                    fault = f;
                    faulty = true;
                    break;
                }
        }
        QByteArray answer = s.answer;
        if (faulty && fault.kind == SimFault::Nak) {
            if (s.refusal)
                answer = s.refusal(fault.arg);
        } else if (s.commit) {
            s.commit();
        }
        if (faulty) {
            if (fault.kind == SimFault::BadSum)
                answer = ep->handler->badSum(answer);
            else if (fault.kind == SimFault::Garbage)
                answer = garbageFor(answer);
        }
        if (isVerbose())
            logText(link->endpoint(), QStringLiteral("request %1: %2").arg(number)
                                          .arg(ep->protocol->logSummary(request, answer)));
        deliver(ep, link, answer, faulty ? &fault : nullptr);
    }
}

void SimEngine::deliver(SimEndpoint *ep, SimLink *link, const QByteArray &answer, const SimFault *fault)
{
    Q_UNUSED(ep);
    if (!fault || fault->kind == SimFault::BadSum || fault->kind == SimFault::Garbage
        || fault->kind == SimFault::Nak) {
        if (answer.isEmpty()) {
            log(link, "--", answer, QStringLiteral("no answer"));
            return;
        }
        log(link, "->", answer, fault ? fault->text : QString());
        link->send(answer);
        return;
    }
    const QString note = fault->text;
    switch (fault->kind) {
    case SimFault::NoAnswer:
        log(link, "--", answer, note + QStringLiteral(": swallowed"));
        break;
    case SimFault::Close:
        log(link, "--", answer, note);
        link->queueHangUp();
        break;
    case SimFault::Truncate: {
        const QByteArray part = answer.left(answer.size() / 2);
        log(link, "->", part, note);
        if (!part.isEmpty())
            link->send(part);
        break;
    }
    case SimFault::Late:
        log(link, "->", answer, note);
        link->send(answer, fault->arg);
        break;
    case SimFault::Split: {
        const QByteArray first = answer.left(answer.size() / 2);
        log(link, "->", first, note + QStringLiteral(" first part"));
        link->send(first);
        log(link, "->", answer.mid(answer.size() / 2), note + QStringLiteral(" second part"));
        link->send(answer.mid(answer.size() / 2), fault->arg);
        break;
    }
    case SimFault::Noise:
        log(link, "->", fault->bytes + answer, note);
        link->send(fault->bytes + answer);
        break;
    case SimFault::Vanish:
        log(link, "--", answer, note);
        link->queueVanish();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- public API

PlcSimulator::PlcSimulator()
    : d(new SimulatorWorker)
{
    d->thread.setObjectName(QStringLiteral("plcsim"));
    d->engine = new SimEngine(d.get());
    d->engine->moveToThread(&d->thread);
    d->thread.start();
}

PlcSimulator::~PlcSimulator()
{
    d->run([this] {
        d->engine->shutdown();
        delete d->engine;
        d->engine = nullptr;
    });
    d->thread.quit();
    d->thread.wait();
}

QString PlcSimulator::addEndpoint(const QString &protocol, const QString &endpoint, QString *error)
{
    QString result;
    QString why;
    d->run([&] { result = d->engine->addEndpoint(protocol, endpoint, &why); });
    if (result.isEmpty() && error)
        *error = why;
    return result;
}

bool PlcSimulator::addFault(const QString &faultText, QString *error)
{
    SimFault f;
    if (!SimFault::parse(faultText, &f, error))
        return false;
    QMutexLocker l(&d->configLock);
    d->faults.append(f);
    return true;
}

void PlcSimulator::clearFaults()
{
    QMutexLocker l(&d->configLock);
    d->faults.clear();
}

QString PlcSimulator::faultSyntaxHelp()
{
    return SimFault::syntaxHelp();
}

void PlcSimulator::setStation(int station)
{
    QMutexLocker l(&d->configLock);
    d->station = station;
}

void PlcSimulator::setModel(SimModel model)
{
    QMutexLocker l(&d->configLock);
    d->model = model;
}

bool PlcSimulator::modelNamed(const QString &name, SimModel *model)
{
    const QString n = name.toLower();
    if (n == QLatin1String("any"))
        *model = SimModel::Any;
    else if (n == QLatin1String("fx3u"))
        *model = SimModel::Fx3u;
    else if (n == QLatin1String("q"))
        *model = SimModel::Q;
    else
        return false;
    return true;
}

void PlcSimulator::setVerbose(bool on)
{
    QMutexLocker l(&d->configLock);
    d->verbose = on;
}

int PlcSimulator::connectionCount() const
{
    return d->connections.loadAcquire();
}

int PlcSimulator::requestCount() const
{
    return d->requests.loadAcquire();
}

void PlcSimulator::stopEndpoint(const QString &endpoint)
{
    d->run([&] { d->engine->stopEndpoint(endpoint); });
}

bool PlcSimulator::restartEndpoint(const QString &endpoint)
{
    bool ok = false;
    d->run([&] { ok = d->engine->restartEndpoint(endpoint); });
    return ok;
}

bool PlcSimulator::bit(char area, int number) const { return d->memory.bit(area, number); }
void PlcSimulator::setBit(char area, int number, bool on) { d->memory.setBit(area, number, on); }
quint16 PlcSimulator::word(char area, int number) const { return d->memory.word(area, number); }
void PlcSimulator::setWord(char area, int number, quint16 value) { d->memory.setWord(area, number, value); }
void PlcSimulator::clearMemory() { d->memory.clear(); }
PlcMemory &PlcSimulator::memory() { return d->memory; }
