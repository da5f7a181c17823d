#include "TcpMedium.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Keep-alive: first probe after 5 s idle, then every 2 s, lost after 3.
constexpr int KeepIdleS = 5, KeepIntervalS = 2, KeepCount = 3;
// Most bytes dropInput() reads away in one call (64 rounds of 4 KiB).
constexpr int DropBytes = 64 * 4096;

// QAbstractSocket's error numbers, which the lost-connection line shows.
constexpr int ConnectionRefusedError = 0, RemoteHostClosedError = 1, SocketTimeoutError = 5,
              NetworkError = 7;

int socketErrorNumber(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return ConnectionRefusedError;
    case EPIPE:
    case ECONNRESET:
        return RemoteHostClosedError;
    case ETIMEDOUT:
        return SocketTimeoutError;
    default:
        return NetworkError;
    }
}

// The pending error of a socket (0 when there is none).
int pendingError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : errno;
}

void setOption(int fd, int level, int name, int value)
{
    ::setsockopt(fd, level, name, &value, sizeof value);
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

TcpMedium::TcpMedium(const QHostAddress &address, quint16 port, bool keepAlive)
    : IpMedium(address, port), m_keepAlive(keepAlive)
{
}

std::unique_ptr<TcpMedium> TcpMedium::connectTo(const QHostAddress &address, quint16 port, int waitMs,
                                                bool keepAlive, const LinkWake *wake, int *result)
{
    std::unique_ptr<TcpMedium> medium(new TcpMedium(address, port, keepAlive));
    medium->setWake(wake);
    const bool connected = medium->open(waitMs);
    if (result)
        *result = connected ? Connected : NotConnected;
    return connected ? std::move(medium) : nullptr;
}

bool TcpMedium::open(int waitMs)
{
    close();
    PeerAddress peer;
    if (!peerAddress(&peer))
        return false;
    const QDeadlineTimer deadline(qMax(0, waitMs));
    m_fd = ::socket(peer.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = NetworkError;
        return false;
    }
    if (::connect(m_fd, peer.data(), peer.length) != 0) {
        const int error = errno == EINPROGRESS ? awaitConnected(deadline) : errno;
        if (error != 0) {
            // A raised wake-up is no error of the connection.
            if (error > 0)
                m_error = socketErrorNumber(error);
            close();
            return false;
        }
    }
    // Requests are small and go one at a time: never hold one back.
    setOption(m_fd, IPPROTO_TCP, TCP_NODELAY, 1);
    if (m_keepAlive) {
        setOption(m_fd, SOL_SOCKET, SO_KEEPALIVE, 1);
        setOption(m_fd, IPPROTO_TCP, TCP_KEEPIDLE, KeepIdleS);
        setOption(m_fd, IPPROTO_TCP, TCP_KEEPINTVL, KeepIntervalS);
        setOption(m_fd, IPPROTO_TCP, TCP_KEEPCNT, KeepCount);
    }
    return true;
}

int TcpMedium::awaitConnected(const QDeadlineTimer &deadline) const
{
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {wake() ? wake()->fd() : -1, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, remainingMs(deadline));
        if (n > 0 && (fds[1].revents & POLLIN))
            return -1;
        if (n > 0 && fds[0].revents)
            return pendingError(m_fd);
        if (n < 0 && errno != EINTR)
            return errno;
        if (deadline.hasExpired())
            return ETIMEDOUT;
    }
}

void TcpMedium::markLost(int error)
{
    m_error = error;
    close();
}

bool TcpMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    qsizetype done = 0;
    while (usable() && done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += n;
        } else if (n < 0 && !wouldBlock(errno)) {
            markLost(socketErrorNumber(errno));
        } else if (deadline.hasExpired()) {
            // Part of a request is on its way: the connection is no use any more.
            markLost(SocketTimeoutError);
        } else {
            pollfd p = {m_fd, POLLOUT, 0};
            ::poll(&p, 1, qMax(1, remainingMs(deadline)));
        }
    }
    return usable();
}

LinkMedium::Wait TcpMedium::waitReadable(const QDeadlineTimer &deadline)
{
    if (!usable())
        return Wait::Lost;
    short events = 0;
    const Wait w = pollReadable(m_fd, deadline, &events);
    m_endSeen = events & (POLLRDHUP | POLLHUP | POLLERR);
    if (w == Wait::Lost) {
        const int error = pendingError(m_fd);
        markLost(error ? socketErrorNumber(error) : RemoteHostClosedError);
    }
    return w;
}

QByteArray TcpMedium::readAvailable(int maxBytes)
{
    QByteArray bytes;
    char chunk[4096];
    while (usable() && bytes.size() < maxBytes) {
        const ssize_t n = ::recv(m_fd, chunk, size_t(qMin<qsizetype>(sizeof chunk, maxBytes - bytes.size())),
                                 MSG_DONTWAIT);
        if (n > 0) {
            bytes.append(chunk, int(n));
            // A short read took all there was: only a close the last wait
            // saw is worth another call, to find the end of the stream now.
            if (n == qMin<qsizetype>(sizeof chunk, maxBytes - (bytes.size() - n)) || m_endSeen)
                continue;
            break;
        }
        // The end of the stream is found after the bytes before it.
        if (n == 0)
            markLost(RemoteHostClosedError);
        else if (!wouldBlock(errno))
            markLost(socketErrorNumber(errno));
        break;
    }
    return bytes;
}

void TcpMedium::dropInput()
{
    readAvailable(DropBytes);
}

bool TcpMedium::reset(int)
{
    // No answer of an earlier request can reach a connection opened after it.
    return open(ReconnectWaitMs);
}
