#include "LinkTransport.h"
#include "DriverShell.h"

#include <QEventLoop>
#include <QMessageLogger>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

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

// Bits on the line per character: start bit, up to 8 data bits, parity and stop
// bits. Used for the time a character needs, whatever the exact framing.
constexpr int BitsPerCharacter = 11;

// Upper bound of the bytes a judge may announce as missing when the deadline is
// stretched by their line time; a garbled length field must not make one
// exchange wait for minutes.
constexpr int MaxAwaitedBytes = 4096;

// Bytes pending from an earlier exchange are drained in a bounded number of
// rounds, so a device that never stops sending cannot hold the caller here.
constexpr int MaxDrainRounds = 64;

// No answer of these protocols comes near this size; a device that floods the
// line during an exchange fills the receive buffer up to here and no further.
constexpr int MaxReceiveBytes = 1024 * 1024;

void appendBounded(QByteArray &buffer, const QByteArray &bytes)
{
    const int room = MaxReceiveBytes - buffer.size();
    if (room > 0)
        buffer.append(bytes.constData(), std::min(room, bytes.size()));
}

// Marks the link busy for the duration of one exchange.
class ExchangeScope
{
public:
    explicit ExchangeScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~ExchangeScope() { m_flag = false; }
    ExchangeScope(const ExchangeScope &) = delete;
    ExchangeScope &operator=(const ExchangeScope &) = delete;

private:
    bool &m_flag;
};

} // namespace

CLinkTransport::CLinkTransport(const LinkProfile &profile, QObject *parent)
    : QObject(parent), m_profile(profile)
{
}

CLinkTransport::~CLinkTransport()
{
    DestroyFree();
}

int CLinkTransport::serialConnectDrive(QString portName, int baudRate, int dataBits, int stopBits,
                                       QString parity)
{
    if (!m_serialPort) {
        m_serialPort = new QSerialPort(this);
        connect(m_serialPort, &QSerialPort::readyRead, this, &CLinkTransport::serialreadyRead,
                Qt::DirectConnection);
    }
    if (m_serialPort->isOpen()) {
        m_serialPort->clear(QSerialPort::AllDirections);
        m_serialPort->close();
    }
    m_serialPort->setPortName(portName);
    if (!m_serialPort->open(QIODevice::ReadWrite))
        return -1;

    switch (baudRate) {
    case 1200:
        // One character at 1200 baud takes about 9.2 ms (11 bits); twice that
        // keeps a pause between two characters of one answer from passing for
        // the end of the answer.
        m_serialPort->setBaudRate(1200, QSerialPort::AllDirections);
        m_gapInterval = 20;
        break;
    case 2400:
        m_serialPort->setBaudRate(2400, QSerialPort::AllDirections);
        m_gapInterval = 10;
        break;
    case 4800:
        m_serialPort->setBaudRate(4800, QSerialPort::AllDirections);
        m_gapInterval = 6;
        break;
    case 9600:
        m_serialPort->setBaudRate(9600, QSerialPort::AllDirections);
        m_gapInterval = 3;
        break;
    case 19200:
    case 38400:
    case 57600:
    case 115200:
        m_serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
        break;
    default:
        break;  // an unknown rate leaves the port's rate as it is
    }
    m_baudRate = m_serialPort->baudRate();

    if (dataBits >= 5 && dataBits <= 8)
        m_serialPort->setDataBits(static_cast<QSerialPort::DataBits>(dataBits));

    switch (stopBits) {
    case 1:
        m_serialPort->setStopBits(QSerialPort::OneStop);
        break;
    case 2:
        m_serialPort->setStopBits(QSerialPort::TwoStop);
        break;
    case 3:
        m_serialPort->setStopBits(QSerialPort::OneAndHalfStop);
        break;
    default:
        break;
    }

    // The first letter found decides, in this order: "Even" and "None" both
    // contain an n and so select no parity.
    if (parity.contains(QLatin1Char('N'), Qt::CaseInsensitive))
        m_serialPort->setParity(QSerialPort::NoParity);
    else if (parity.contains(QLatin1Char('E'), Qt::CaseInsensitive))
        m_serialPort->setParity(QSerialPort::EvenParity);
    else if (parity.contains(QLatin1Char('O'), Qt::CaseInsensitive))
        m_serialPort->setParity(QSerialPort::OddParity);

    m_serialPort->setFlowControl(QSerialPort::NoFlowControl);

    if (!m_gapTimer) {
        m_gapTimer = new QTimer(this);
        m_gapTimer->setSingleShot(false);
        // A coarse timer may fire early; the gap must never be shorter than set.
        m_gapTimer->setTimerType(Qt::PreciseTimer);
        connect(m_gapTimer, &QTimer::timeout, this, &CLinkTransport::TimerTimeOut,
                Qt::DirectConnection);
    }
    return 0;
}

int CLinkTransport::serialDisConnectDrive()
{
    if (!m_serialPort || !m_serialPort->isOpen())
        return 1;
    m_serialPort->clear(QSerialPort::AllDirections);
    m_serialPort->close();
    return 0;
}

int CLinkTransport::EthConnectDrive(QString hostAddress, int port)
{
    m_peerPort = port;

    QHostAddress address;
    const bool valid = address.setAddress(hostAddress);  // numeric only, no lookup
    if (m_profile.parseAddressBeforeSocket && !valid)
        return -1;

    if (!m_tcpSocket) {
        m_tcpSocket = new QTcpSocket(this);
        connect(m_tcpSocket, &QTcpSocket::connected, this, &CLinkTransport::Ethconnected,
                Qt::DirectConnection);
        connect(m_tcpSocket, &QTcpSocket::disconnected, this, &CLinkTransport::Ethdisconnected,
                Qt::DirectConnection);
        connect(m_tcpSocket, &QTcpSocket::readyRead, this, &CLinkTransport::EthreadyRead,
                Qt::DirectConnection);
    }
    if (!valid)
        return -1;
    m_peerAddress = address;

    if (m_profile.abortBeforeConnect)
        m_tcpSocket->abort();
    m_tcpSocket->connectToHost(m_peerAddress, static_cast<quint16>(m_peerPort & 0xFFFF),
                               QIODevice::ReadWrite);
    m_tcpSocket->waitForConnected(30000);

    const QAbstractSocket::SocketState state = m_tcpSocket->state();
    if (state == QAbstractSocket::ConnectingState || state == QAbstractSocket::ConnectedState)
        return 0;
    return -3;
}

int CLinkTransport::EthDisConnectDrive()
{
    if (!m_tcpSocket)
        return 1;
    m_tcpSocket->close();
    m_tcpSocket->disconnectFromHost();
    if (m_tcpSocket->state() != QAbstractSocket::UnconnectedState)
        m_tcpSocket->waitForDisconnected(30000);
    return 0;
}

int CLinkTransport::Only_send(QByteArray frame)
{
    if (m_tcpSocket) {
        m_tcpSocket->write(frame);
        m_tcpSocket->flush();
        return 0;
    }
    if (m_serialPort) {
        m_serialPort->write(frame);
        m_serialPort->flush();
        return 0;
    }
    return 1;
}

namespace {

// The device's blocking waits, first until the written bytes have left, then
// for the first answer bytes. Both are skipped when already satisfied: after a
// flush the serial port's bytes-written wait would otherwise run its full time
// (it then watches only for incoming bytes), and its ready-read wait would
// wait for bytes beyond an answer that came meanwhile.
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
    if (m_tcpSocket) {
        if (m_receiveBuffer.isEmpty())
            blockingWaits(m_tcpSocket, msecs, msecs);
        return 0;
    }
    if (m_serialPort) {
        blockingWaits(m_serialPort, msecs, msecs);
        return 0;
    }
    return 1;
}

int CLinkTransport::waitForReady(QByteArray frame, int msecs)
{
    if (m_tcpSocket) {
        m_tcpSocket->write(frame);
        m_tcpSocket->flush();
        if (m_receiveBuffer.isEmpty())
            blockingWaits(m_tcpSocket, 200, msecs);
        return 0;
    }
    if (m_serialPort) {
        m_serialPort->write(frame);
        m_serialPort->flush();
        blockingWaits(m_serialPort, 200, msecs);
        return 0;
    }
    return 1;
}

int CLinkTransport::lineTimeMs(int bytes) const
{
    if (m_baudRate <= 0 || bytes <= 0)
        return 0;
    const qint64 bits = qint64(std::min(bytes, MaxAwaitedBytes)) * BitsPerCharacter;
    return int((bits * 1000 + m_baudRate - 1) / m_baudRate);
}

void CLinkTransport::discardPending()
{
    // A late answer to an earlier request may still sit in the socket, in the
    // port's buffer or in the kernel below them; none of it belongs to the
    // request about to be written.
    if (m_tcpSocket && m_tcpSocket->state() == QAbstractSocket::ConnectedState) {
        for (int round = 0; round < MaxDrainRounds && m_tcpSocket
             && m_tcpSocket->waitForReadyRead(0); ++round) {
        }
        if (m_tcpSocket)
            m_tcpSocket->readAll();
    }
    if (m_serialPort && m_serialPort->isOpen()) {
        for (int round = 0; round < MaxDrainRounds && m_serialPort
             && m_serialPort->waitForReadyRead(0); ++round) {
        }
        if (m_serialPort)
            m_serialPort->readAll();
    }
    if (m_gapTimer)
        m_gapTimer->stop();
    m_receiveBuffer.clear();
}

int CLinkTransport::SendData(QByteArray frame, QByteArray &answer, int timeoutMs,
                             const AnswerJudge &judge)
{
    // A call from an event handler while another exchange waits would take
    // that exchange's answer away; it is refused without sending.
    if (m_inExchange)
        return -1;
    ExchangeScope scope(m_inExchange);

    discardPending();

    if (m_profile.sendVariant == LinkProfile::FxSend) {
        Only_send(frame);
        waitForReady(300);
    } else {
        waitForReady(frame, 500);
    }

    if (timeoutMs <= 0)
        return -1;

    int elapsed = 0;

    if (!judge) {
        // First bytes win: the frame code checks length and framing itself.
        while (m_receiveBuffer.isEmpty()) {
            mysleep(10);
            elapsed += 10;
            if (elapsed >= timeoutMs)
                return -1;
        }
        answer.append(m_receiveBuffer);
        m_receiveBuffer.clear();
        return 0;
    }

    // With a judge the answer is collected until it is complete. On a serial
    // line the bytes the port already holds are taken at once instead of after
    // the next quiet gap, and the deadline is stretched by the line time of the
    // bytes still missing: at a low baud rate a long answer needs longer on the
    // wire than the protocol's time-out allows. The stretch is measured from the
    // latest progress, so a line that falls silent still ends at a bounded time.
    const bool serial = usingSerial();
    int deadline = timeoutMs;
    int seenSize = 0;

    auto missingNow = [&]() -> int {
        int missing = m_receiveBuffer.isEmpty() ? 1 : judge(m_receiveBuffer);
        if (missing > 0 && serial && m_serialPort) {
            const QByteArray more = m_serialPort->readAll();
            if (!more.isEmpty()) {
                appendBounded(m_receiveBuffer, more);
                missing = judge(m_receiveBuffer);
            }
        }
        if (m_receiveBuffer.isEmpty())
            return 1;
        return missing;
    };

    for (;;) {
        const int missing = missingNow();
        if (missing <= 0) {
            answer.append(m_receiveBuffer);
            m_receiveBuffer.clear();
            return 0;
        }
        if (serial && m_receiveBuffer.size() > seenSize) {
            seenSize = m_receiveBuffer.size();
            deadline = std::max(deadline, elapsed + lineTimeMs(missing) + m_gapInterval);
        }
        mysleep(10);
        elapsed += 10;
        if (elapsed >= deadline)
            break;
    }

    // Time is up: whatever arrived meanwhile still counts, a complete answer
    // included; an incomplete one goes to the caller as it is.
    const int missing = missingNow();
    answer.append(m_receiveBuffer);
    m_receiveBuffer.clear();
    return (missing <= 0) ? 0 : -1;
}

int CLinkTransport::Connection_status()
{
    if (m_tcpSocket)
        return m_tcpSocket->state() == QAbstractSocket::ConnectedState ? 0 : -3;
    if (m_serialPort && m_serialPort->isOpen())
        return 0;
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
    if (m_serialPort) {
        disconnect(m_serialPort, &QSerialPort::readyRead, this, &CLinkTransport::serialreadyRead);
        delete m_serialPort;
        m_serialPort = nullptr;
    }
    if (m_gapTimer) {
        disconnect(m_gapTimer, &QTimer::timeout, this, &CLinkTransport::TimerTimeOut);
        delete m_gapTimer;
        m_gapTimer = nullptr;
    }
    return 0;
}

int CLinkTransport::deletetcpSocket()
{
    if (m_tcpSocket) {
        disconnect(m_tcpSocket, &QTcpSocket::connected, this, &CLinkTransport::Ethconnected);
        disconnect(m_tcpSocket, &QTcpSocket::disconnected, this, &CLinkTransport::Ethdisconnected);
        disconnect(m_tcpSocket, &QTcpSocket::readyRead, this, &CLinkTransport::EthreadyRead);
        delete m_tcpSocket;
        m_tcpSocket = nullptr;
    }
    return 0;
}

int CLinkTransport::DestroyFree()
{
    if (m_serialPort) {
        serialDisConnectDrive();
        deleteSerialPort();
        return 0;
    }
    if (m_tcpSocket) {
        if (m_tcpSocket->state() != QAbstractSocket::UnconnectedState)
            EthDisConnectDrive();
        deletetcpSocket();
        return 0;
    }
    return 1;
}

void CLinkTransport::TimerTimeOut()
{
    if (m_gapTimer && m_gapTimer->isActive())
        m_gapTimer->stop();
    if (!m_serialPort)
        return;
    const QByteArray bytes = m_serialPort->readAll();
    // Outside an exchange nobody waits for these bytes: they are dropped rather
    // than kept for the next request.
    if (m_inExchange)
        appendBounded(m_receiveBuffer, bytes);
}

QString CLinkTransport::peerAddressText() const
{
    return m_tcpSocket ? m_peerAddress.toString() : QString();
}

int CLinkTransport::peerPort() const
{
    return m_tcpSocket ? m_peerPort : 0;
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
    const int error = m_tcpSocket ? int(m_tcpSocket->error()) : -1;
    warningLine(m_profile.disconnectTemplate.arg(m_peerAddress.toString(),
                                                 QString::number(m_peerPort),
                                                 QString::number(error)));
}

void CLinkTransport::EthreadyRead()
{
    while (m_tcpSocket && m_tcpSocket->bytesAvailable() > 0) {
        const QByteArray bytes = m_tcpSocket->readAll();
        if (bytes.isEmpty())
            break;
        // Outside an exchange these are late bytes nobody asked for.
        if (m_inExchange)
            appendBounded(m_receiveBuffer, bytes);
    }
}

void CLinkTransport::serialreadyRead()
{
    if (!m_gapTimer)
        return;
    m_gapTimer->stop();
    m_gapTimer->start(m_gapInterval);
}

bool CLinkTransport::usingSerial() const
{
    return !m_tcpSocket && m_serialPort;
}
