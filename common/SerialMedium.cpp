#include "SerialMedium.h"

#include <QThread>

namespace {

// A late answer, or a device that never stops sending, may keep the line busy:
// the quiet guard gives up after this many guard times and goes on.
constexpr int GuardRounds = 4;
// Quiet that ends a late answer's bytes on the line, at any baud rate in use.
constexpr int MinQuietMs = 50;

bool meansDeviceGone(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
           || error == QSerialPort::WriteError || error == QSerialPort::DeviceNotFoundError;
}

} // namespace

SerialMedium::SerialMedium() = default;

SerialMedium::~SerialMedium()
{
    // A port living on another thread is deleted there, never here.
    if (m_port && m_port->thread() != QThread::currentThread())
        retireQtObject(m_port);
}

bool SerialMedium::open(const QString &name)
{
    if (!m_port)
        m_port.reset(new QSerialPort);
    if (m_port->isOpen()) {
        m_port->clear(QSerialPort::AllDirections);
        m_port->close();
    }
    m_lost = false;
    m_port->clearError();
    m_port->setPortName(name);
    return m_port->open(QIODevice::ReadWrite);
}

void SerialMedium::close()
{
    if (!m_port || !m_port->isOpen())
        return;
    if (!m_lost)
        m_port->clear(QSerialPort::AllDirections);
    m_port->close();
}

QIODevice *SerialMedium::device() const
{
    return m_port.get();
}

bool SerialMedium::checkLost() const
{
    if (!m_lost && m_port && m_port->isOpen() && meansDeviceGone(m_port->error())) {
        m_lost = true;
        m_port->close();
    }
    return m_lost;
}

bool SerialMedium::usable() const
{
    return m_port && !checkLost() && m_port->isOpen();
}

bool SerialMedium::write(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    if (m_port->write(bytes) != bytes.size()) {
        checkLost();
        return !m_lost;
    }
    m_port->flush();
    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired())
        if (!m_port->waitForBytesWritten(qMax(1, remainingMs(deadline))))
            break;
    return !checkLost();
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
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
    const QDeadlineTimer guard(qMax(0, guardMs));
    const QDeadlineTimer overall(qint64(qMax(guardMs, MinQuietMs)) * GuardRounds);
    for (;;) {
        const QDeadlineTimer quiet(qMax<qint64>(guard.remainingTime(), MinQuietMs));
        const Wait w = waitReadable(quiet.deadline() < overall.deadline() ? quiet : overall);
        if (w == Wait::Lost)
            return false;
        if (w == Wait::TimedOut)
            return true;
        m_port->readAll();
        if (overall.hasExpired())
            return true;
    }
}
