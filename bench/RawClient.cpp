#include "RawClient.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(unsigned value, int digits)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

QByteArray le(unsigned value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// Two hex digits of the byte sum from `from` to the end.
QByteArray sumDigits(const QByteArray &frame, int from)
{
    unsigned sum = 0;
    for (int i = from; i < frame.size(); ++i)
        sum += static_cast<unsigned char>(frame.at(i));
    return hex(sum & 0xFF, 2);
}

// Programming port: STX, command, byte address, byte count, data, ETX, sum over
// everything after STX. D registers in the extended area from 0x4000, low byte first.
QByteArray fxportFrame(const QByteArray &command, int head, int bytes, const QByteArray &data)
{
    QByteArray f = "\x02" + command + hex(unsigned(0x4000 + 2 * head), 4) + hex(unsigned(bytes), 2) + data + "\x03";
    return f + sumDigits(f, 1);
}

// Computer link format 1: ENQ, station 00, PC FF, command, wait 0, area, sum.
QByteArray fxlinkFrame(const QByteArray &command, int head, int words, const QByteArray &data)
{
    QByteArray f = "\x05" "00FF" + command + "0D" + QByteArray::number(head).rightJustified(4, '0')
                   + hex(unsigned(words), 2) + data;
    return f + sumDigits(f, 1);
}

// MC 1E binary: subheader, PC FF, monitoring timer, head (4 bytes), device 'D', points, 00.
QByteArray mc1eFrame(char subheader, int head, int words, const QByteArray &data)
{
    return QByteArray(1, subheader) + QByteArray("\xFF\x0A\x00", 3) + le(unsigned(head), 4) + "\x20\x44"
           + QByteArray(1, char(words & 0xFF)) + QByteArray(1, '\0') + data;
}

// MC 3E binary: subheader 5000, network 00, PC FF, I/O 03FF, station 00, length,
// timer, command, subcommand, head (3 bytes), device D (A8), points.
QByteArray mc3eFrame(unsigned command, int head, int words, const QByteArray &data)
{
    const QByteArray body = le(0x000A, 2) + le(command, 2) + le(0, 2) + le(unsigned(head), 3) + "\xA8"
                            + le(unsigned(words), 2) + data;
    return QByteArray("\x50\x00\x00\xFF\xFF\x03\x00", 7) + le(unsigned(body.size()), 2) + body;
}

// MC 3E in ASCII: the same fields as upper-case hexadecimal text, the device
// as "D*" and its number as six decimal digits; the length counts the
// characters from the timer on.
QByteArray mc3eAsciiFrame(unsigned command, int head, int words, const QByteArray &data)
{
    const QByteArray body = "000A" + hex(command, 4) + "0000" + "D*" + QByteArray::number(head).rightJustified(6, '0')
                            + hex(unsigned(words), 4) + data;
    return "500000FF03FF00" + hex(unsigned(body.size()), 4) + body;
}

} // namespace

RawFrame rawReadFrame(const QString &protocol, int head, int words)
{
    RawFrame f;
    if (protocol == QLatin1String("fxport"))
        f = {fxportFrame("E00", head, 2 * words, {}), 4 * words + 4, '\x02'};
    else if (protocol == QLatin1String("fxlink"))
        f = {fxlinkFrame("WR", head, words, {}), 4 * words + 8, '\x02'};
    else if (protocol == QLatin1String("mc1e"))
        f = {mc1eFrame('\x01', head, words, {}), 2 + 2 * words, '\x81'};
    else if (protocol == QLatin1String("mc3e"))
        f = {mc3eFrame(0x0401, head, words, {}), 11 + 2 * words, '\xD0'};
    else if (protocol == QLatin1String("mc3e-ascii"))
        f = {mc3eAsciiFrame(0x0401, head, words, {}), 22 + 4 * words, 'D'};
    return f;
}

RawFrame rawWriteFrame(const QString &protocol, int head, quint16 value)
{
    RawFrame f;
    if (protocol == QLatin1String("fxport"))  // data bytes low first, each as two digits
        f = {fxportFrame("E10", head, 2, hex(value & 0xFFu, 2) + hex(value >> 8, 2)), 1, '\x06'};
    else if (protocol == QLatin1String("fxlink"))
        f = {fxlinkFrame("WW", head, 1, hex(value, 4)), 5, '\x06'};
    else if (protocol == QLatin1String("mc1e"))
        f = {mc1eFrame('\x03', head, 1, le(value, 2)), 2, '\x83'};
    else if (protocol == QLatin1String("mc3e"))
        f = {mc3eFrame(0x1401, head, 1, le(value, 2)), 11, '\xD0'};
    else if (protocol == QLatin1String("mc3e-ascii"))
        f = {mc3eAsciiFrame(0x1401, head, 1, hex(value, 4)), 22, 'D'};
    return f;
}

RawLink::~RawLink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawLink::open(const QString &endpoint, QString *error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
    if (endpoint.startsWith(QLatin1Char('/'))) {
        m_fd = ::open(endpoint.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            *error = QStringLiteral("cannot open %1: %2").arg(endpoint, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        struct termios t;
        if (tcgetattr(m_fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(m_fd, TCSANOW, &t);
        }
        tcflush(m_fd, TCIOFLUSH);
        return true;
    }
    m_datagrams = endpoint.startsWith(QLatin1String("udp:"));
    const QString hostPort = m_datagrams ? endpoint.mid(4) : endpoint;
    const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(hostPort.mid(colon + 1).toUInt()));
    if (colon < 0 || inet_pton(AF_INET, hostPort.left(colon).toLatin1().constData(), &a.sin_addr) != 1) {
        *error = QStringLiteral("bad endpoint %1").arg(endpoint);
        return false;
    }
    m_fd = ::socket(AF_INET, (m_datagrams ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        *error = QStringLiteral("cannot connect to %1: %2").arg(endpoint, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int one = 1;
    if (!m_datagrams)
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    return true;
}

bool RawLink::exchange(const RawFrame &frame, int timeoutMs)
{
    if (m_fd < 0 || frame.request.isEmpty())
        return false;
    const char *p = frame.request.constData();
    qint64 left = frame.request.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        struct pollfd w = {m_fd, POLLOUT, 0};
        if (::poll(&w, 1, timeoutMs) <= 0)
            return false;
    }
    if (readAnswer(frame, timeoutMs))
        return true;
    drain();
    return false;
}

bool RawLink::readAnswer(const RawFrame &frame, int timeoutMs)
{
    m_buffer.resize(frame.answerLength);
    int have = 0;
    QElapsedTimer clock;
    clock.start();
    while (have < frame.answerLength) {
        // Wait first: right after the request nothing can be there yet.
        const qint64 left = timeoutMs - clock.elapsed();
        struct pollfd r = {m_fd, POLLIN, 0};
        if (left <= 0 || ::poll(&r, 1, int(left)) < 0)
            return false;
        const ssize_t n = ::read(m_fd, m_buffer.data() + have, size_t(frame.answerLength - have));
        if (n > 0)
            have += int(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return false;
        if (n > 0 && m_datagrams && have < frame.answerLength)
            return false;  // the answer is one datagram: a shorter one is cut
    }
    return m_buffer.at(0) == frame.answerStart;
}

void RawLink::drain()
{
    char scrap[512];
    struct pollfd r = {m_fd, POLLIN, 0};
    while (::poll(&r, 1, 100) > 0 && ::read(m_fd, scrap, sizeof scrap) > 0) {
    }
}
