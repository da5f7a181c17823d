#pragma once
// What the exchange engine needs from a serial line or a TCP connection: write,
// wait until readable or a deadline, read, and put the link back into a state
// in which nothing of an earlier exchange can arrive any more. One small table
// of operations per medium, no exchange logic.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <memory>

class LinkMedium
{
public:
    virtual ~LinkMedium() = default;

    enum class Wait { Readable, TimedOut, Lost };

    virtual QIODevice *device() const = 0;
    // Usable for an exchange (open, connected, not lost).
    virtual bool usable() const = 0;
    // Writes all of `bytes` and waits (up to the deadline) until the system
    // holds them. False when the device refused them: the medium is lost then.
    virtual bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) = 0;
    // Waits until bytes can be read or the deadline passes. Bytes already
    // buffered count as readable at once.
    virtual Wait waitReadable(const QDeadlineTimer &deadline);
    // What can be read now without waiting (after waitReadable said Readable).
    virtual QByteArray readAvailable() { return device()->readAll(); }
    // Line time of `bytes` characters in milliseconds (0 when unknown).
    virtual int lineTimeMs(int bytes) const = 0;
    // Puts the link into a state where no byte of an earlier exchange can
    // arrive: TCP connects again to the same peer, a serial line drops what
    // comes until guardMs have passed and the line is quiet. False when that
    // failed (the medium is lost then).
    virtual bool reset(int guardMs) = 0;
    // Set once the device went away; stays until the next connect.
    virtual bool lost() const = 0;
    // The error number the lost-connection line shows.
    virtual int errorCode() const = 0;
};

// Milliseconds left until `deadline`, for the devices' blocking waits.
inline int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(24 * 3600 * 1000)));
}

// Hands a port or socket to the thread it lives on for deletion: a link that
// is rebuilt or released from another thread never deletes it itself.
template <typename T>
void retireQtObject(std::unique_ptr<T> &object)
{
    if (object)
        object.release()->deleteLater();
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

inline LinkMedium::Wait LinkMedium::waitReadable(const QDeadlineTimer &deadline)
{
    QIODevice *d = device();
    if (d->bytesAvailable() > 0)
        return Wait::Readable;
    if (!usable())
        return Wait::Lost;
    if (d->waitForReadyRead(remainingMs(deadline)))
        return Wait::Readable;
    return usable() ? Wait::TimedOut : Wait::Lost;
}
