#include "TcpMedium.h"

#include <QThread>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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

int TcpMedium::descriptor() const
{
    return usable() ? int(m_socket->socketDescriptor()) : -1;
}

bool TcpMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    const int fd = m_socket->bytesToWrite() == 0 ? descriptor() : -1;
    if (fd >= 0 && !bytes.isEmpty()) {
        const ssize_t sent = ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == bytes.size())
            return true;
        if (sent > 0)
            return writeBuffered(bytes.mid(int(sent)), deadline);
    }
    return writeBuffered(bytes, deadline);
}

bool TcpMedium::writeBuffered(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    if (m_socket->write(bytes) != bytes.size())
        return false;
    m_socket->flush();
    while (m_socket->bytesToWrite() > 0 && usable() && !deadline.hasExpired())
        if (!m_socket->waitForBytesWritten(qMax(1, remainingMs(deadline))))
            break;
    return usable();
}

LinkMedium::Wait TcpMedium::waitReadable(const QDeadlineTimer &deadline)
{
    const int fd = m_socket->bytesAvailable() == 0 ? descriptor() : -1;
    if (fd < 0)
        return LinkMedium::waitReadable(deadline);
    pollfd p = {fd, POLLIN, 0};
    int n;
    do
        n = ::poll(&p, 1, remainingMs(deadline));
    while (n < 0 && errno == EINTR);
    if (n == 0)
        return Wait::TimedOut;
    if (n < 0 || (p.revents & ~POLLIN))  // errors and hang-ups are the socket object's to see
        return LinkMedium::waitReadable(QDeadlineTimer(0));
    return Wait::Readable;
}

QByteArray TcpMedium::readAvailable()
{
    QByteArray bytes = m_socket->readAll();
    const int fd = descriptor();
    if (fd < 0)
        return bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            bytes.append(chunk, int(got));
            if (size_t(got) == sizeof chunk)
                continue;
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            // The peer closed or the connection failed: let the socket object
            // find out itself, with its state change and its signals.
            if (m_socket->waitForReadyRead(0))
                bytes.append(m_socket->readAll());
        }
        return bytes;
    }
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
