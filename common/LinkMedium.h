#pragma once
// What the exchange engine needs from a serial line, a TCP connection or UDP: write,
// wait until readable or a deadline, read, and put the link back into a state
// in which nothing of an earlier exchange can arrive any more. One small table
// of operations per medium, no exchange logic.
//
// The media work on the system's descriptors directly, with no Qt device
// object: they need no event loop and no QThread, so a driver may live on any
// thread (a std::thread or a non-Qt host thread included) without Qt warnings,
// and a connect from another thread takes the medium along without moving
// Qt objects between threads.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

// A wake-up another thread can raise while the owner waits on its medium
// (an eventfd that every wait of the medium also watches).
class LinkWake
{
public:
    LinkWake();
    ~LinkWake();
    LinkWake(const LinkWake &) = delete;
    LinkWake &operator=(const LinkWake &) = delete;

    int fd() const { return m_fd; }
    // Any thread: ends the owner's current wait, and every later one until cleared.
    void raise();
    // The owner: takes the wake-up back.
    void clear();

private:
    int m_fd = -1;
};

class LinkMedium
{
public:
    virtual ~LinkMedium() = default;

    enum class Wait { Readable, TimedOut, Lost, Woken };

    // The wake-up this medium's waits watch besides the device (may be null).
    void setWake(const LinkWake *wake) { m_wake = wake; }

    // Usable for an exchange (open, connected, not lost).
    virtual bool usable() const = 0;
    // Writes all of `bytes`, partial sends included, until the deadline. False
    // when the device refused them: the medium is lost then.
    virtual bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) = 0;
    // Waits until bytes can be read, the deadline passes, the device is lost
    // (end of stream, hang-up, error) or the wake-up is raised.
    virtual Wait waitReadable(const QDeadlineTimer &deadline) = 0;
    // What can be read now without waiting, at most maxBytes. An end of stream
    // or an error found here marks the medium lost (the bytes before it are
    // still returned).
    virtual QByteArray readAvailable(int maxBytes) = 0;
    // Drops what can be read now, without waiting.
    virtual void dropInput() = 0;
    // Line time of `bytes` characters in milliseconds (TCP: a PLC behind a
    // serial-to-Ethernet gateway still talks at 9600 baud).
    virtual int lineTimeMs(int bytes) const = 0;
    // Puts the link into a state where no byte of an earlier exchange can
    // arrive: TCP connects again to the same peer, a serial line drops what
    // comes until guardMs have passed and the line is quiet. False when that
    // failed (the medium is lost then).
    virtual bool reset(int guardMs) = 0;
    // Set once the device went away; stays until the medium is replaced.
    virtual bool lost() const = 0;
    // The error number the lost-connection line shows (Qt's socket and
    // serial-port error numbers, which hosts know from earlier releases).
    virtual int errorCode() const = 0;
    // Closes the device; the medium is not usable afterwards.
    virtual void close() = 0;
    // Whether closing it on purpose is announced with the lost-connection
    // line too (a TCP connection is: hosts watch that line for the link state).
    virtual bool announcesClose() const { return false; }
    // One request, one answer, each a datagram of its own (UDP).
    virtual bool sendsDatagrams() const { return false; }
    // A connection to this peer (a connect to it may keep the medium).
    virtual bool connectedTo(const QString &address, quint16 port) const
    {
        Q_UNUSED(address) Q_UNUSED(port) return false;
    }

    // %1 and %2 of the frame trace lines: the peer's address and port (an
    // empty text and 0 on a serial line).
    virtual QString traceAddress() const = 0;
    virtual int tracePort() const = 0;
    // %1 and %2 of the lost-connection line: the peer's address and port, or
    // the serial port's name and 0.
    virtual QString lossAddress() const = 0;
    virtual int lossPort() const = 0;

protected:
    // poll() on `fd` and the wake-up until readable or the deadline.
    // `events` gets the revents of fd (0 when it timed out or was woken).
    Wait pollReadable(int fd, const QDeadlineTimer &deadline, short *events) const;
    const LinkWake *wake() const { return m_wake; }

private:
    const LinkWake *m_wake = nullptr;
};

// Milliseconds left until `deadline`, for poll().
inline int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(24 * 3600 * 1000)));
}

// Milliseconds `bytes` characters take at `baudRate` (0 when either is not
// positive), 11 bits a character: start bit, up to 8 data bits, parity and
// stop bits, so never less than a character really takes. A garbled length
// field must not make one exchange wait for minutes: at most 4096 characters.
inline int lineTimeAtBaud(int bytes, int baudRate)
{
    if (baudRate <= 0 || bytes <= 0)
        return 0;
    const qint64 bits = qint64(qMin(bytes, 4096)) * 11;
    return int((bits * 1000 + baudRate - 1) / baudRate);
}
