#include "LinkMedium.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

LinkWake::LinkWake() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

LinkWake::~LinkWake()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void LinkWake::raise()
{
    // A counter that is already raised stays raised; a full one (EAGAIN) is too.
    const std::uint64_t one = 1;
    if (m_fd >= 0) {
        const ssize_t written = ::write(m_fd, &one, sizeof one);
        Q_UNUSED(written)
    }
}

void LinkWake::clear()
{
    // One read takes the whole counter back to 0 (no EFD_SEMAPHORE).
    std::uint64_t count = 0;
    if (m_fd >= 0) {
        const ssize_t got = ::read(m_fd, &count, sizeof count);
        Q_UNUSED(got)
    }
}

namespace {

// poll()'s time-out for `deadline`: -1 waits for ever.
int pollTimeout(const QDeadlineTimer &deadline)
{
    return deadline.isForever() ? -1 : remainingMs(deadline);
}

} // namespace

LinkMedium::Wait LinkMedium::pollReadable(int fd, const QDeadlineTimer &deadline, short *events) const
{
    *events = 0;
    // POLLRDHUP: a TCP peer's close shows beside the last bytes it sent.
    pollfd fds[2] = {{fd, POLLIN | POLLRDHUP, 0}, {m_wake ? m_wake->fd() : -1, POLLIN, 0}};
    // Each round either returns or sleeps until the deadline: a signal or a
    // poll() that ends a little early only starts another round.
    for (;;) {
        const int n = ::poll(fds, 2, pollTimeout(deadline));
        if (n < 0 && errno != EINTR)
            return Wait::TimedOut;  // out of memory in the kernel: no statement about the device
        if (n > 0 && (fds[1].revents & POLLIN))
            return Wait::Woken;
        const short got = n > 0 ? fds[0].revents : 0;
        // Bytes before a hang-up are still the peer's answer: read them first,
        // the read then finds the end of the stream.
        if (got & POLLIN) {
            *events = got;
            return Wait::Readable;
        }
        if (got & (POLLHUP | POLLERR | POLLNVAL)) {
            *events = got;
            return Wait::Lost;
        }
        if (deadline.hasExpired())
            return Wait::TimedOut;
    }
}
