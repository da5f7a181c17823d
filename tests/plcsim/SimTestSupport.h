#pragma once
// Client side helpers for the simulator tests: a blocking TCP client and a raw
// pseudo-terminal client. The simulator answers from its own thread, so the test
// thread may block in these waits.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

// Frames of the ASCII protocols are written readably: <STX>, <ETX>, <ENQ>, <ACK>
// and <NAK> stand for the control characters.
inline QByteArray ascii(const char *text)
{
    QByteArray b(text);
    b.replace("<STX>", QByteArray(1, 0x02));
    b.replace("<ETX>", QByteArray(1, 0x03));
    b.replace("<ENQ>", QByteArray(1, 0x05));
    b.replace("<ACK>", QByteArray(1, 0x06));
    b.replace("<NAK>", QByteArray(1, 0x15));
    return b;
}

// Binary frames as hexadecimal text; spaces are ignored.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

class TcpClient
{
public:
    bool connectTo(const QString &endpoint)
    {
        const int colon = endpoint.lastIndexOf(QLatin1Char(':'));
        m_socket.connectToHost(endpoint.left(colon), quint16(endpoint.mid(colon + 1).toUInt()));
        return m_socket.waitForConnected(3000);
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(3000);
    }
    // Collects bytes until at least expected have come or timeoutMs passed.
    QByteArray read(int expected, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        QByteArray got = m_pending;
        m_pending.clear();
        while (got.size() < expected) {
            const int left = timeoutMs - int(t.elapsed());
            if (left <= 0)
                break;
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(left))
                break;
            got += m_socket.readAll();
        }
        if (got.size() > expected) {
            m_pending = got.mid(expected);
            got.truncate(expected);
        }
        return got;
    }
    // Everything that arrives within ms.
    QByteArray readFor(int ms) { return read(1 << 20, ms); }
    QByteArray exchange(const QByteArray &request, int expected, int timeoutMs = 3000)
    {
        send(request);
        return read(expected, timeoutMs);
    }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool waitForDisconnect(int ms)
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        return m_socket.waitForDisconnected(ms);
    }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_pending;
};

class PtyClient
{
public:
    ~PtyClient() { close(); }
    bool open(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios t;
        if (::tcgetattr(m_fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_fd, TCSANOW, &t);
        }
        return true;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void send(const QByteArray &bytes)
    {
        int done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += int(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            else
                ::usleep(1000);
        }
    }
    QByteArray read(int expected, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        QByteArray got;
        while (got.size() < expected) {
            const int left = timeoutMs - int(t.elapsed());
            if (left <= 0)
                break;
            pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(m_fd, chunk, qMin<size_t>(sizeof chunk, size_t(expected - got.size())));
            if (n > 0)
                got.append(chunk, int(n));
        }
        return got;
    }
    QByteArray readFor(int ms) { return read(1 << 20, ms); }
    QByteArray exchange(const QByteArray &request, int expected, int timeoutMs = 3000)
    {
        send(request);
        return read(expected, timeoutMs);
    }

private:
    int m_fd = -1;
};

} // namespace simtest
