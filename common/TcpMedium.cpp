#include "TcpMedium.h"

#include <QThread>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// A PLC behind a serial-to-Ethernet gateway still talks at its line's rate.
constexpr int GatewayBaud = 9600;
// Keep-alive: first probe after 5 s idle, then every 2 s, lost after 3.
constexpr int KeepIdleS = 5, KeepIntervalS = 2, KeepCount = 3;

} // namespace

TcpMedium::TcpMedium() : m_socket(new QTcpSocket) {}

TcpMedium::~TcpMedium()
{
    if (m_socket && m_socket->thread() != QThread::currentThread())
        retireQtObject(m_socket);
}

void TcpMedium::connectTo(const QHostAddress &address, quint16 port, int waitMs)
{
    m_address = address;
    m_port = port;
    m_socket->connectToHost(address, port, QIODevice::ReadWrite);
    if (m_socket->waitForConnected(waitMs))
        applyOptions();
}

void TcpMedium::applyOptions()
{
    // Requests are small and go one at a time: never hold one back.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_keepAlive)
        return;
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int fd = int(m_socket->socketDescriptor());
    if (fd < 0)
        return;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepIdleS, sizeof KeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepIntervalS, sizeof KeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepCount, sizeof KeepCount);
}

QIODevice *TcpMedium::device() const
{
    return m_socket.get();
}

bool TcpMedium::usable() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TcpMedium::lost() const
{
    return !usable();
}

bool TcpMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    if (m_socket->write(bytes) != bytes.size())
        return false;
    m_socket->flush();
    while (m_socket->bytesToWrite() > 0 && usable() && !deadline.hasExpired())
        if (!m_socket->waitForBytesWritten(qMax(1, remainingMs(deadline))))
            break;
    return usable();
}

int TcpMedium::lineTimeMs(int bytes) const
{
    return lineTimeAtBaud(bytes, GatewayBaud);
}

bool TcpMedium::reset(int)
{
    // No answer of an earlier request can reach a connection opened after it:
    // drop the old one (quietly: this is no loss) and connect again.
    const bool blocked = m_socket->blockSignals(true);
    m_socket->abort();
    m_socket->blockSignals(blocked);
    connectTo(m_address, m_port, ReconnectWaitMs);
    return usable();
}
