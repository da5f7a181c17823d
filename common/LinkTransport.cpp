#include "LinkTransport.h"
#include "SerialMedium.h"
#include "TcpMedium.h"

#include <QEventLoop>
#include <QMessageLogger>
#include <QSerialPort>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

// The trace form shared by every plug-in: one QString, no file/line/function
// context, category "default" (the default handler prints it in double quotes).
// Kept here rather than in the driver shell so the transport stands on its own.
void plcDebugLine(const QString &text)
{
    QMessageLogger(nullptr, 0, nullptr, "default").debug() << text;
}

void plcWarningLine(const QString &text)
{
    QMessageLogger(nullptr, 0, nullptr, "default").warning() << text;
}

namespace {

// Marks the link busy for the duration of one call.
class BusyScope
{
public:
    explicit BusyScope(std::atomic<bool> &flag) : m_flag(flag) {}
    bool enter()
    {
        bool expected = false;
        m_entered = m_flag.compare_exchange_strong(expected, true);
        return m_entered;
    }
    ~BusyScope()
    {
        if (m_entered)
            m_flag = false;
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    std::atomic<bool> &m_flag;
    bool m_entered = false;
};

} // namespace

CLinkTransport::CLinkTransport(const LinkProfile &profile, QObject *parent)
    : QObject(parent), m_profile(profile)
{
}

CLinkTransport::~CLinkTransport()
{
    if (ownedHere())
        DestroyFree();
    // Whatever is left goes without a signal reaching this half-destroyed
    // object; objects of another thread are deleted there.
    deleteSerialPort();
    deletetcpSocket();
}

bool CLinkTransport::ownedHere() const
{
    QThread *owner = m_owner.load();
    return !owner || owner == QThread::currentThread();
}

void CLinkTransport::takeOwnership()
{
    if (ownedHere()) {
        m_owner = QThread::currentThread();
        return;
    }
    // A connect from another thread builds the link anew on this thread; the
    // old objects are deleted on their own thread.
    deleteSerialPort();
    deletetcpSocket();
    m_owner = QThread::currentThread();
}

void CLinkTransport::applyPendingRelease()
{
    if (!m_releasePending.exchange(false))
        return;
    while (DestroyFree() == 0) {
    }
}

int CLinkTransport::serialConnectDrive(QString portName, int baudRate, int dataBits, int stopBits,
                                       QString parity)
{
    if (!ownedHere() && m_inExchange)
        return -1;  // another thread is waiting on the old link
    applyPendingRelease();
    takeOwnership();
    if (!m_serial) {
        m_serial.reset(new SerialMedium);
        m_hasDevice = true;
    }
    if (!m_serial->open(portName))
        return -1;
    QSerialPort *port = m_serial->port();

    switch (baudRate) {
    case 1200:
        // One character at 1200 baud takes about 9.2 ms (11 bits); twice that
        // keeps a pause between two characters of one answer from passing for
        // the end of the answer.
        port->setBaudRate(1200, QSerialPort::AllDirections);
        m_gapInterval = 20;
        break;
    case 2400:
        port->setBaudRate(2400, QSerialPort::AllDirections);
        m_gapInterval = 10;
        break;
    case 4800:
        port->setBaudRate(4800, QSerialPort::AllDirections);
        m_gapInterval = 6;
        break;
    case 9600:
        port->setBaudRate(9600, QSerialPort::AllDirections);
        m_gapInterval = 3;
        break;
    case 19200:
    case 38400:
    case 57600:
    case 115200:
        port->setBaudRate(baudRate, QSerialPort::AllDirections);
        break;
    default:
        break;  // an unknown rate leaves the port's rate as it is
    }
    m_serial->setBaudRate(port->baudRate());

    if (dataBits >= 5 && dataBits <= 8)
        port->setDataBits(static_cast<QSerialPort::DataBits>(dataBits));

    switch (stopBits) {
    case 1:
        port->setStopBits(QSerialPort::OneStop);
        break;
    case 2:
        port->setStopBits(QSerialPort::TwoStop);
        break;
    case 3:
        port->setStopBits(QSerialPort::OneAndHalfStop);
        break;
    default:
        break;
    }

    // The first letter found decides, in this order: "Even" and "None" both
    // contain an n and so select no parity.
    if (parity.contains(QLatin1Char('N'), Qt::CaseInsensitive))
        port->setParity(QSerialPort::NoParity);
    else if (parity.contains(QLatin1Char('E'), Qt::CaseInsensitive))
        port->setParity(QSerialPort::EvenParity);
    else if (parity.contains(QLatin1Char('O'), Qt::CaseInsensitive))
        port->setParity(QSerialPort::OddParity);

    port->setFlowControl(QSerialPort::NoFlowControl);
    // A pseudo-terminal may refuse some settings; that is no loss of the device.
    port->clearError();
    m_serialLossReported = false;
    if (!m_tcp)
        m_engine.connected();
    return 0;
}

int CLinkTransport::serialDisConnectDrive()
{
    if (!m_serial || !m_serial->port()->isOpen())
        return 1;
    m_serial->close();
    return 0;
}

int CLinkTransport::EthConnectDrive(QString hostAddress, int port)
{
    if (!ownedHere() && m_inExchange)
        return -1;
    applyPendingRelease();
    takeOwnership();
    m_peerPort = port;

    QHostAddress address;
    const bool valid = address.setAddress(hostAddress);  // numeric only, no lookup
    if (m_profile.parseAddressBeforeSocket && !valid)
        return -1;

    if (!m_tcp) {
        m_tcp.reset(new TcpMedium);
        m_tcp->setKeepAlive(m_profile.keepAlive);
        m_hasDevice = true;
        // Direct: the socket may live on a thread other than this object's.
        connect(m_tcp->socket(), &QTcpSocket::connected, this, &CLinkTransport::Ethconnected,
                Qt::DirectConnection);
        connect(m_tcp->socket(), &QTcpSocket::disconnected, this, &CLinkTransport::Ethdisconnected,
                Qt::DirectConnection);
    }
    if (!valid)
        return -1;
    m_peerAddress = address;

    QTcpSocket *socket = m_tcp->socket();
    // A link whose last exchange failed may sit on a dead connection: a
    // connect then always starts afresh.
    const bool fresh = m_profile.abortBeforeConnect || m_engine.dirty()
                       || socket->state() == QAbstractSocket::UnconnectedState;
    if (m_profile.abortBeforeConnect || m_engine.dirty())
        socket->abort();
    m_tcp->connectTo(m_peerAddress, static_cast<quint16>(m_peerPort & 0xFFFF), 30000);

    const QAbstractSocket::SocketState state = socket->state();
    if (state == QAbstractSocket::ConnectingState || state == QAbstractSocket::ConnectedState) {
        if (fresh)
            m_engine.connected();
        return 0;
    }
    return -3;
}

int CLinkTransport::EthDisConnectDrive()
{
    if (!m_tcp)
        return 1;
    QTcpSocket *socket = m_tcp->socket();
    socket->close();
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->waitForDisconnected(30000);
    return 0;
}

LinkMedium *CLinkTransport::medium() const
{
    if (m_tcp)
        return m_tcp.get();
    return m_serial.get();
}

QSerialPort *CLinkTransport::serialPort() const
{
    return m_serial ? m_serial->port() : nullptr;
}

QTcpSocket *CLinkTransport::tcpSocket() const
{
    return m_tcp ? m_tcp->socket() : nullptr;
}

int CLinkTransport::Only_send(QByteArray frame)
{
    LinkMedium *m = medium();
    if (!m)
        return 1;
    m->device()->write(frame);
    if (m_tcp)
        m_tcp->socket()->flush();
    else
        m_serial->port()->flush();
    return 0;
}

namespace {

// The device's blocking waits, first until the written bytes have left, then
// for the first answer bytes; each is skipped when already satisfied.
void blockingWaits(QIODevice *device, int writtenMs, int readyMs)
{
    if (device->bytesToWrite() > 0)
        device->waitForBytesWritten(writtenMs);
    if (device->bytesAvailable() == 0)
        device->waitForReadyRead(readyMs);
}

} // namespace

int CLinkTransport::waitForReady(int msecs)
{
    LinkMedium *m = medium();
    if (!m)
        return 1;
    blockingWaits(m->device(), msecs, msecs);
    return 0;
}

int CLinkTransport::waitForReady(QByteArray frame, int msecs)
{
    if (Only_send(frame) != 0)
        return 1;
    blockingWaits(medium()->device(), 200, msecs);
    return 0;
}

int CLinkTransport::requestReady()
{
    if (!ownedHere() || m_inExchange)
        return Busy;
    return Connection_status();
}

int CLinkTransport::runExchange(const QByteArray &request, const AnswerRule &rule, QByteArray *answer)
{
    // A call from another thread, or one made while a call of this link is
    // waiting, would take that call's answer away: refused, nothing sent.
    if (!ownedHere())
        return Busy;
    BusyScope busy(m_inExchange);
    if (!busy.enter())
        return Busy;
    applyPendingRelease();
    LinkMedium *m = medium();
    if (!m)
        return ExchangeEngine::NotConnected;
    const bool serial = m == m_serial.get();
    const int result = m_engine.run(*m, request, rule, serial ? m_gapInterval : 0, answer, [this, serial] {
        // The link could not be recovered: it is lost like a dropped connection.
        if (serial)
            serialLost();
        else
            warningLine(m_profile.disconnectTemplate.arg(m_peerAddress.toString(),
                                                         QString::number(m_peerPort),
                                                         QString::number(m_tcp->errorCode())));
    });
    if (serial && m_serial->lost())
        serialLost();
    return result;
}

void CLinkTransport::serialLost()
{
    if (m_serialLossReported)
        return;
    m_serialLossReported = true;
    // The TCP line of the plug-in, with the port name as address and port 0.
    warningLine(m_profile.disconnectTemplate.arg(m_serial->port()->portName(), QStringLiteral("0"),
                                                 QString::number(m_serial->errorCode())));
}

int CLinkTransport::SendData(QByteArray frame, QByteArray &answer, int timeoutMs, const AnswerJudge &judge)
{
    AnswerRule rule;
    rule.judge = judge;
    rule.allowanceMs = timeoutMs;
    rule.resetWhenDirty = false;
    const int r = runExchange(frame, rule, &answer);
    return r == Busy ? Busy : (r == ExchangeEngine::Complete ? 0 : -1);
}

int CLinkTransport::exchange(const QByteArray &request, const AnswerRule &rule, QByteArray *answer)
{
    return runExchange(request, rule, answer);
}

int CLinkTransport::tracedExchange(Traced kind, const QByteArray &request, const QString &areaText,
                                   const AnswerRule &rule, QByteArray *answer)
{
    const int ready = requestReady();
    if (ready != 0)
        return ready;
    // No text is built while the trace is off.
    const bool trace = m_trace;
    QString peer, port;
    if (trace) {
        peer = peerAddressText();
        port = QString::number(peerPort());
    }
    // One arg() call fills all four places at once, so a '%' in the host's
    // address text cannot be taken for a later placeholder.
    auto line = [&](const char *what, const QByteArray &bytes) {
        traceLine(m_profile.tracePrefix + QString::fromUtf8(what)
                  + QStringLiteral(" %1:%2 Area=%3  msg : %4").arg(peer, port, areaText, hex(bytes)));
    };
    if (trace && kind == Traced::Read)
        line("读命令", request);
    const int r = exchange(request, rule, answer);
    if (r == ExchangeEngine::NotConnected || r == Busy)
        return r;
    if (trace && kind == Traced::Write)
        line("写命令", request);
    if (trace)
        line("响应", *answer);
    if (answer->isEmpty())
        return -2;
    return r == ExchangeEngine::Complete ? 0 : -1;
}

int CLinkTransport::Connection_status()
{
    if (!ownedHere())
        return -3;  // another thread's link: nothing of it is touched from here
    applyPendingRelease();
    if (m_tcp)
        return m_tcp->usable() ? 0 : -3;
    if (m_serial && m_serial->usable())
        return 0;
    if (m_serial && m_serial->lost())
        serialLost();
    return -3;
}

void CLinkTransport::mysleep(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

int CLinkTransport::deleteSerialPort()
{
    m_serial.reset();  // a port of another thread is deleted there
    m_hasDevice = bool(m_tcp);
    return 0;
}

int CLinkTransport::deletetcpSocket()
{
    if (m_tcp) {
        disconnect(m_tcp->socket(), nullptr, this, nullptr);
        m_tcp.reset();
    }
    m_hasDevice = bool(m_serial);
    return 0;
}

int CLinkTransport::DestroyFree()
{
    if (!ownedHere()) {
        // Another thread: the owner's objects are never touched from here. The
        // owner releases them at its next call; the call returns at once.
        if (!m_hasDevice)
            return 1;
        m_releasePending = true;
        return 0;
    }
    if (m_serial) {
        serialDisConnectDrive();
        deleteSerialPort();
        return 0;
    }
    if (m_tcp) {
        if (m_tcp->socket()->state() != QAbstractSocket::UnconnectedState)
            EthDisConnectDrive();
        deletetcpSocket();
        return 0;
    }
    return 1;
}

void CLinkTransport::TimerTimeOut()
{
    // Outside an exchange nobody waits for serial bytes: they are dropped
    // rather than kept for the next request.
    if (ownedHere() && !m_inExchange && m_serial && m_serial->port()->isOpen())
        m_serial->port()->readAll();
}

QString CLinkTransport::peerAddressText() const
{
    return m_tcp ? m_peerAddress.toString() : QString();
}

int CLinkTransport::peerPort() const
{
    return m_tcp ? m_peerPort : 0;
}

void CLinkTransport::traceLine(const QString &text) const
{
    if (m_trace)
        plcDebugLine(text);
}

void CLinkTransport::warningLine(const QString &text)
{
    plcWarningLine(text);
}

QString CLinkTransport::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

void CLinkTransport::Ethconnected()
{
}

void CLinkTransport::Ethdisconnected()
{
    const int error = m_tcp ? m_tcp->errorCode() : -1;
    warningLine(m_profile.disconnectTemplate.arg(m_peerAddress.toString(),
                                                 QString::number(m_peerPort),
                                                 QString::number(error)));
}

void CLinkTransport::EthreadyRead()
{
    // Outside an exchange these are late bytes nobody asked for.
    if (ownedHere() && !m_inExchange && m_tcp)
        m_tcp->socket()->readAll();
}

void CLinkTransport::serialreadyRead()
{
    TimerTimeOut();
}
