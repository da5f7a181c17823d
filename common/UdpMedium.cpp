#include "UdpMedium.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// QAbstractSocket's NetworkError, which the lost-connection line shows.
constexpr int NetworkError = 7;
// Bytes of a datagram that are read: no answer of these protocols comes near
// it (a 960-word 3E read is under 2 KiB), so a longer one is cut here and then
// judged a bad answer. A buffer on the stack: no allocation per answer.
constexpr int MaxDatagram = 8192;
// Most datagrams from before the request one read skips.
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

// The wall clock in ns: the time base of the system's receive stamps. A step
// of the clock back between a request and its answer makes the answer look
// older than the request: a time-out, never an answer taken for another.
qint64 wallClockNs()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The receive stamp of the datagram just read, 0 when there is none.
qint64 receivedAtNs(msghdr *message)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(message); c; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t;
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
        }
    }
    return 0;
}

} // namespace

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
    if (!peerAddress(&peer))
        return -1;
    const int fd = ::socket(peer.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);  // refused: no stamps, so the drop stays
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
    m_sentAtNs = wallClockNs();
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
    union {  // aligned for the control header that the system writes in it
        char bytes[CMSG_SPACE(sizeof(timespec))];
        cmsghdr header;
    } control;
    // A stamp taken when the datagram came is older than this; one the system
    // took as it was read is not.
    const qint64 readAtNs = wallClockNs();
    for (int i = 0; i < DropDatagrams; ++i) {
        iovec part = {datagram, sizeof datagram};
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.bytes;
        message.msg_controllen = sizeof control.bytes;
        // MSG_TRUNC: n is the datagram's own length, also when it is longer.
        const ssize_t n = ::recvmsg(m_fd, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (refusedEarlier(errno))
                continue;
            break;  // nothing (more) yet
        }
        const qint64 receivedAt = receivedAtNs(&message);
        m_stamped = receivedAt != 0 && receivedAt < readAtNs;
        if (receivedAt != 0 && receivedAt < m_sentAtNs)
            continue;  // came before the request: an earlier request's
        m_answered = true;
        return QByteArray(datagram, int(qMin<ssize_t>(n, qMin(maxBytes, MaxDatagram))));
    }
    return QByteArray();
}

void UdpMedium::dropInput()
{
    if (m_stamped)
        return;  // readAvailable() skips what came before the request
    char sink[512];
    for (int i = 0; usable() && i < DropDatagrams; ++i) {
        if (::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT) < 0 && !refusedEarlier(errno))
            break;
    }
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
