#include "SerialMedium.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A late answer, or a device that never stops sending, may keep the line busy:
// the quiet guard gives up after this many guard times and goes on.
constexpr int GuardRounds = 4;
// Quiet that ends a late answer's bytes on the line, at any baud rate in use.
constexpr int MinQuietMs = 50;
// Most bytes dropInput() reads away in one call.
constexpr int DropBytes = 64 * 4096;

// QSerialPort's error numbers, which the lost-connection line shows.
constexpr int ResourceError = 9, WriteError = 7, TimeoutError = 12;

struct Rate {
    int baud;
    speed_t speed;
};
// The rates the settings may choose; any other keeps the port's own.
constexpr Rate SettableRates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                  {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
// Further rates a port may already run at, for its line times.
constexpr Rate OtherRates[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                               {150, B150},       {200, B200},       {300, B300},       {600, B600},
                               {1800, B1800},     {230400, B230400}, {460800, B460800}, {500000, B500000},
                               {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool settableSpeed(int baud, speed_t *speed)
{
    for (const Rate &r : SettableRates)
        if (r.baud == baud) {
            *speed = r.speed;
            return true;
        }
    return false;
}

int baudOf(speed_t speed)
{
    for (const Rate &r : SettableRates)
        if (r.speed == speed)
            return r.baud;
    for (const Rate &r : OtherRates)
        if (r.speed == speed)
            return r.baud;
    return 0;
}

// The names QSerialPort used: "ttyS0" means /dev/ttyS0, and a port under /dev
// is shown by its short name (the lost-connection line reads the same as before).
QString systemLocation(const QString &name)
{
    const bool path = name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
                      || name.startsWith(QLatin1String("../"));
    return path ? name : QLatin1String("/dev/") + name;
}

QString shortName(const QString &location)
{
    return location.startsWith(QLatin1String("/dev/")) ? location.mid(5) : location;
}

// A pseudo-terminal keeps its own character size and parity whatever it is told.
bool isPseudoTerminal(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    const unsigned m = major(st.st_rdev);
    return m == 3 || (m >= 136 && m <= 143);  // BSD-style and Unix 98 slaves
}

void applyDataBits(termios *t, int dataBits)
{
    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits < 5 || dataBits > 8)
        return;
    t->c_cflag = (t->c_cflag & ~CSIZE) | Sizes[dataBits - 5];
}

void applyStopBits(termios *t, int stopBits)
{
    // A tty has no one and a half stop bits: two is the nearest that is never short.
    if (stopBits == 1)
        t->c_cflag &= ~CSTOPB;
    else if (stopBits == 2 || stopBits == 3)
        t->c_cflag |= CSTOPB;
}

void applyParity(termios *t, const QString &parity)
{
    // The first of N, E, O decides, in that order: "Even" contains an n and
    // means no parity, as it always did for the hosts' connection texts.
    const QString p = parity.toUpper();
#ifdef CMSPAR
    if (p.contains(QLatin1Char('N')) || p.contains(QLatin1Char('E')) || p.contains(QLatin1Char('O')))
        t->c_cflag &= ~CMSPAR;
#endif
    if (p.contains(QLatin1Char('N')))
        t->c_cflag &= ~(PARENB | PARODD);
    else if (p.contains(QLatin1Char('E')))
        t->c_cflag = (t->c_cflag | PARENB) & ~PARODD;
    else if (p.contains(QLatin1Char('O')))
        t->c_cflag |= PARENB | PARODD;
}

// Raw bytes, no flow control, reads that never block, then the settings.
bool setUp(int fd, const SerialSettings &settings)
{
    termios t;
    if (::tcgetattr(fd, &t) != 0)
        return false;
    // Raw mode sets 8N1; a setting the text leaves out keeps the port's own.
    const tcflag_t framing = CSIZE | PARENB | PARODD | CSTOPB;
    const tcflag_t kept = t.c_cflag & framing;
    ::cfmakeraw(&t);
    t.c_cflag = (t.c_cflag & ~framing) | kept | CLOCAL | CREAD;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    speed_t speed;
    if (settableSpeed(settings.baudRate, &speed)) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    applyDataBits(&t, settings.dataBits);
    applyStopBits(&t, settings.stopBits);
    applyParity(&t, settings.parity);
    return ::tcsetattr(fd, TCSANOW, &t) == 0 || isPseudoTerminal(fd);
}

int currentBaud(int fd)
{
    termios t;
    return ::tcgetattr(fd, &t) == 0 ? baudOf(::cfgetospeed(&t)) : 0;
}

bool deviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

} // namespace

SerialMedium::SerialMedium(int fd, const QString &name, int baudRate)
    : m_fd(fd), m_name(name), m_baudRate(baudRate)
{
}

SerialMedium::~SerialMedium()
{
    close();
}

std::unique_ptr<SerialMedium> SerialMedium::open(const SerialSettings &settings)
{
    const QString location = systemLocation(settings.portName);
    const int fd = ::open(QFile::encodeName(location).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // The lock keeps a second link (or another program that locks its ports)
    // off this line while it is ours; it goes with the descriptor.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || !setUp(fd, settings)) {
        ::close(fd);
        return nullptr;
    }
    ::tcflush(fd, TCIOFLUSH);
    return std::unique_ptr<SerialMedium>(new SerialMedium(fd, shortName(location), currentBaud(fd)));
}

void SerialMedium::markLost(int error)
{
    if (m_lost)
        return;
    m_lost = true;
    m_error = error;
    // The line is free for whoever comes next; nothing is flushed on a dead device.
    ::close(m_fd);
    m_fd = -1;
}

bool SerialMedium::usable() const
{
    return m_fd >= 0 && !m_lost;
}

bool SerialMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    qsizetype done = 0;
    while (usable() && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            markLost(deviceGone(errno) ? ResourceError : WriteError);
        } else if (deadline.hasExpired()) {
            // Part of a frame is on the line: no later exchange may trust it.
            markLost(TimeoutError);
        } else {
            pollfd p = {m_fd, POLLOUT, 0};
            ::poll(&p, 1, qMax(1, remainingMs(deadline)));
        }
    }
    return usable();
}

LinkMedium::Wait SerialMedium::waitReadable(const QDeadlineTimer &deadline)
{
    if (!usable())
        return Wait::Lost;
    short events = 0;
    const Wait w = pollReadable(m_fd, deadline, &events);
    if (w == Wait::Lost)
        markLost(ResourceError);
    return w;
}

QByteArray SerialMedium::readAvailable(int maxBytes)
{
    QByteArray bytes;
    char chunk[4096];
    while (usable() && bytes.size() < maxBytes) {
        const ssize_t n = ::read(m_fd, chunk, size_t(qMin<qsizetype>(sizeof chunk, maxBytes - bytes.size())));
        if (n > 0) {
            bytes.append(chunk, int(n));
            continue;
        }
        // With VMIN and VTIME 0 a read of an empty line returns 0 too: only a
        // hang-up that poll() shows makes it the end of the line.
        if (n < 0 ? deviceGone(errno) : bytes.isEmpty() && hungUp())
            markLost(ResourceError);
        break;
    }
    return bytes;
}

bool SerialMedium::hungUp() const
{
    pollfd p = {m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialMedium::dropInput()
{
    if (!usable())
        return;
    ::tcflush(m_fd, TCIFLUSH);
    readAvailable(DropBytes);
}

int SerialMedium::lineTimeMs(int bytes) const
{
    return lineTimeAtBaud(bytes, m_baudRate);
}

bool SerialMedium::reset(int guardMs)
{
    // The line counts as clean once the guard time has passed without a byte,
    // and after any late byte once it has been quiet for a while more: a late
    // answer still on the way has arrived and been dropped by then.
    dropInput();
    const QDeadlineTimer guard(qMax(0, guardMs));
    const QDeadlineTimer overall(qint64(qMax(guardMs, MinQuietMs)) * GuardRounds);
    for (;;) {
        const QDeadlineTimer quiet(qMax<qint64>(guard.remainingTime(), MinQuietMs));
        const Wait w = waitReadable(quiet.deadline() < overall.deadline() ? quiet : overall);
        // Woken: the link is being released, nobody needs a clean line any more.
        if (w != Wait::Readable)
            return !m_lost;
        dropInput();
        if (overall.hasExpired())
            return !m_lost;
    }
}

void SerialMedium::close()
{
    if (m_fd < 0)
        return;
    // Unsent bytes would hold close() up for as long as the line takes them.
    ::tcflush(m_fd, TCIOFLUSH);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}
