#include "UdpMedium.h"
#include "IpPeer.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// QAbstractSocket's NetworkError, which the lost-connection line shows.
constexpr int NetworkError = 7;
// Bytes of a datagram that are read: no answer of these protocols comes near
// it (a 960-word 3E read is under 2 KiB), so a longer one is cut here and then
// judged a bad answer. A buffer on the stack: no allocation per answer.
constexpr int MaxDatagram = 8192;
// Most datagrams dropInput() reads away in one call.
constexpr int DropDatagrams = 256;

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// An ICMP "port unreachable" for an earlier datagram shows as ECONNREFUSED on
// the next call (which takes it away): that datagram is lost, nothing more.
bool refusedEarlier(int error)
{
    return error == ECONNREFUSED;
}

} // namespace

UdpMedium::~UdpMedium()
{
    close();
}

std::unique_ptr<UdpMedium> UdpMedium::open(const QHostAddress &address, quint16 port, const LinkWake *wake)
{
    std::unique_ptr<UdpMedium> medium(new UdpMedium(address, port));
    medium->setWake(wake);
    medium->m_fd = medium->newSocket();
    return medium->usable() ? std::move(medium) : nullptr;
}

int UdpMedium::newSocket() const
{
    PeerAddress peer;
    if (!toSocketAddress(m_address, m_port, &peer))
        return -1;
    const int fd = ::socket(peer.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // connect() binds a free local port and sets the only peer datagrams are taken from.
    if (fd >= 0 && ::connect(fd, peer.data(), peer.length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool UdpMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    m_answered = false;
    bool retried = false;
    while (usable()) {
        const ssize_t n = ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == bytes.size())
            return true;
        const int error = n < 0 ? errno : EMSGSIZE;
        if (refusedEarlier(error) && !retried) {
            retried = true;
        } else if (!wouldBlock(error) || deadline.hasExpired()) {
            m_error = NetworkError;
            close();
        } else {
            pollfd p = {m_fd, POLLOUT, 0};
            ::poll(&p, 1, qMax(1, remainingMs(deadline)));
        }
    }
    return false;
}

LinkMedium::Wait UdpMedium::waitReadable(const QDeadlineTimer &deadline)
{
    if (!usable())
        return Wait::Lost;
    // One answer is one datagram: once it is read, nothing more belongs to it.
    if (m_answered)
        return Wait::TimedOut;
    for (;;) {
        short events = 0;
        const Wait w = pollReadable(m_fd, deadline, &events);
        if (w != Wait::Lost)
            return w;
        // An error of the socket (a refused datagram) loses only that
        // datagram: take the error away and wait on.
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error == 0)
            return Wait::TimedOut;
    }
}

QByteArray UdpMedium::readAvailable(int maxBytes)
{
    if (!usable() || m_answered || maxBytes <= 0)
        return QByteArray();
    char datagram[MaxDatagram];
    // MSG_TRUNC: n is the datagram's own length, also when it is longer.
    const ssize_t n = ::recv(m_fd, datagram, sizeof datagram, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0)
        return QByteArray();  // nothing yet, or a refused earlier datagram
    m_answered = true;
    return QByteArray(datagram, int(qMin<ssize_t>(n, qMin(maxBytes, MaxDatagram))));
}

void UdpMedium::dropInput()
{
    char sink[512];
    for (int i = 0; usable() && i < DropDatagrams; ++i) {
        const ssize_t n = ::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n < 0 && !refusedEarlier(errno))
            break;
    }
}

int UdpMedium::lineTimeMs(int bytes) const
{
    return gatewayLineTimeMs(bytes);
}

bool UdpMedium::reset(int)
{
    // The new socket is made while the old one still holds its port, so the
    // two ports differ and no late datagram of the old request can reach it.
    const int fd = newSocket();
    close();
    m_fd = fd;
    if (fd < 0)
        m_error = NetworkError;
    return usable();
}

void UdpMedium::close()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}
