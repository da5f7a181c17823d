#include "SimLinks.h"

#include "SimProtocolRegistry.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// ---------------------------------------------------------------- ordered output

SimLink::SimLink(const QString &endpoint, QObject *parent)
    : QObject(parent), m_endpoint(endpoint), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SimLink::pump);
    m_clock.start();
}

void SimLink::send(const QByteArray &bytes, int delayMs)
{
    if (bytes.isEmpty() && delayMs <= 0)
        return;
    m_queue.append({Item::Bytes, bytes, delayMs});
    pump();
}

void SimLink::queueHangUp(int delayMs)
{
    m_queue.append({Item::HangUp, QByteArray(), delayMs});
    pump();
}

void SimLink::queueVanish()
{
    m_queue.append({Item::Vanish, QByteArray(), 0});
    pump();
}

void SimLink::noteRequest(int bytes)
{
    if (m_charUs > 0)
        m_lineFreeUs = qMax(m_lineFreeUs, m_clock.nsecsElapsed() / 1000 + bytes * m_charUs);
}

void SimLink::setLineSpeed(int baud)
{
    m_charUs = baud > 0 ? (10 * 1000000LL + baud - 1) / baud : 0;
}

void SimLink::pump()
{
    while (!m_queue.isEmpty()) {
        Item &head = m_queue.first();
        const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
        if (m_headDueUs < 0)
            m_headDueUs = qMax(nowUs, m_lineFreeUs) + qint64(head.delayMs) * 1000;
        if (nowUs < m_headDueUs) {
            m_timer->start(int((m_headDueUs - nowUs + 999) / 1000));
            return;
        }
        if (head.kind != Item::Bytes) {
            const Item::Kind kind = head.kind;
            m_queue.removeFirst();
            m_headDueUs = -1;
            if (kind == Item::Vanish) {
                m_queue.clear();
                vanish();
            } else {
                hangUp();
            }
            return;  // the link may be gone
        }
        // On a paced line: every character whose time has come, then wait for
        // the next one.
        int upTo = head.bytes.size();
        if (m_charUs > 0)
            upTo = int(qMin<qint64>(upTo, (nowUs - m_headDueUs) / m_charUs + 1));
        if (upTo > m_headSent) {
            writeNow(head.bytes.mid(m_headSent, upTo - m_headSent));
            m_headSent = upTo;
        }
        if (m_headSent < head.bytes.size()) {
            const qint64 nextUs = m_headDueUs + m_headSent * m_charUs;
            m_timer->start(int(qMax<qint64>(0, nextUs - nowUs) / 1000));
            return;
        }
        m_lineFreeUs = m_headDueUs + head.bytes.size() * m_charUs;
        m_queue.removeFirst();
        m_headDueUs = -1;
        m_headSent = 0;
    }
}

// ---------------------------------------------------------------- TCP

TcpLink::TcpLink(QTcpSocket *socket, const QString &endpoint, QObject *parent)
    : SimLink(endpoint, parent), m_socket(socket)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        buffer += m_socket->readAll();
        emit received(this);
    });
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    // Answers go out at once, never held back waiting for a delayed ACK.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TcpLink::writeNow(const QByteArray &bytes)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(bytes);
}

void TcpLink::hangUp()
{
    buffer.clear();
    m_socket->abort();
    deleteLater();
}

// ---------------------------------------------------------------- pseudo-terminal

PtyLink *PtyLink::open(QObject *parent, QString *error)
{
    int master = -1;
    int slave = -1;
    char name[256] = {0};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    // Raw on both sides: no echo, no line editing, no CR/LF translation, all 8 bits.
    for (int fd : {master, slave}) {
        termios t;
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    return new PtyLink(master, slave, QString::fromLocal8Bit(name), parent);
}

PtyLink::PtyLink(int master, int slave, const QString &path, QObject *parent)
    : SimLink(path, parent), m_master(master), m_slave(slave), m_slavePath(path)
{
    m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
    m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { flushPending(); });
}

PtyLink::~PtyLink()
{
    closeFds();
}

void PtyLink::closeFds()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_pending.clear();
}

void PtyLink::vanish()
{
    // With the master closed the client's port sees a hang-up: the device is gone.
    closeFds();
}

void PtyLink::readMaster()
{
    char chunk[4096];
    bool got = false;
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            buffer.append(chunk, int(n));
            got = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO would mean no slave is open, which cannot happen
        // while we hold the slave ourselves.
        break;
    }
    if (got)
        emit received(this);
}

void PtyLink::writeNow(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    m_pending += bytes;
    flushPending();
}

void PtyLink::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The slave's input queue is full (nobody reads): wait until it drains.
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_pending.clear();  // a hard error: the line is gone
        break;
    }
    m_writeNotifier->setEnabled(false);
}

// ---------------------------------------------------------------- serial port

SerialLink *SerialLink::open(const QString &settings, const SerialDefaults &defaults, QObject *parent,
                             QString *error)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    qint32 baud = defaults.baud;
    QSerialPort::DataBits dataBits = QSerialPort::DataBits(defaults.dataBits);
    QSerialPort::StopBits stopBits = defaults.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    QSerialPort::Parity parity = defaults.parity == 'E'   ? QSerialPort::EvenParity
                                 : defaults.parity == 'O' ? QSerialPort::OddParity
                                                          : QSerialPort::NoParity;
    auto fail = [&](const QString &why) -> SerialLink * {
        if (error)
            *error = why;
        return nullptr;
    };
    bool ok = true;
    if (parts.size() > 1) {
        baud = parts.at(1).toInt(&ok);
        if (!ok || baud <= 0)
            return fail(QStringLiteral("bad baud rate in %1").arg(settings));
    }
    if (parts.size() > 2) {
        const int b = parts.at(2).toInt(&ok);
        if (!ok || b < 5 || b > 8)
            return fail(QStringLiteral("bad data bits in %1").arg(settings));
        dataBits = QSerialPort::DataBits(b);
    }
    if (parts.size() > 3) {
        const QString s = parts.at(3);
        if (s == QLatin1String("1"))
            stopBits = QSerialPort::OneStop;
        else if (s == QLatin1String("2"))
            stopBits = QSerialPort::TwoStop;
        else if (s == QLatin1String("1.5"))
            stopBits = QSerialPort::OneAndHalfStop;
        else
            return fail(QStringLiteral("bad stop bits in %1").arg(settings));
    }
    if (parts.size() > 4) {
        const QString p = parts.at(4).toUpper();
        if (p == QLatin1String("N") || p == QLatin1String("NONE"))
            parity = QSerialPort::NoParity;
        else if (p == QLatin1String("E") || p == QLatin1String("EVEN"))
            parity = QSerialPort::EvenParity;
        else if (p == QLatin1String("O") || p == QLatin1String("ODD"))
            parity = QSerialPort::OddParity;
        else
            return fail(QStringLiteral("bad parity in %1").arg(settings));
    }
    if (parts.size() > 5)
        return fail(QStringLiteral("too many serial settings in %1").arg(settings));

    auto *port = new QSerialPort(parts.at(0));
    if (!port->open(QIODevice::ReadWrite)) {
        const QString why = port->errorString();
        delete port;
        return fail(QStringLiteral("cannot open %1: %2").arg(parts.at(0), why));
    }
    // A pseudo-terminal refuses 7 bits and parity; the simulator still serves it.
    port->setBaudRate(baud);
    port->setDataBits(dataBits);
    port->setStopBits(stopBits);
    port->setParity(parity);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return new SerialLink(port, parts.at(0), parent);
}

SerialLink::SerialLink(QSerialPort *port, const QString &endpoint, QObject *parent)
    : SimLink(endpoint, parent), m_port(port)
{
    port->setParent(this);
    connect(port, &QSerialPort::readyRead, this, [this] {
        buffer += m_port->readAll();
        emit received(this);
    });
}

void SerialLink::writeNow(const QByteArray &bytes)
{
    if (m_port->isOpen())
        m_port->write(bytes);
}

void SerialLink::vanish()
{
    m_port->close();
}

// ---------------------------------------------------------------- UDP

namespace {

// A client gets a new local port after each failed exchange: links of senders
// that have nothing left to send go once there are more than this many.
constexpr int MaxUdpSenders = 256;

} // namespace

UdpLink::UdpLink(QUdpSocket *socket, const QHostAddress &peer, quint16 peerPort, const QString &endpoint,
                 QObject *parent)
    : SimLink(endpoint, parent), m_socket(socket), m_peer(peer), m_peerPort(peerPort)
{
}

void UdpLink::takeDatagram(const QByteArray &datagram)
{
    buffer = datagram;
    emit received(this);
}

void UdpLink::writeNow(const QByteArray &bytes)
{
    m_socket->writeDatagram(bytes, m_peer, m_peerPort);
}

UdpPort *UdpPort::open(const QHostAddress &address, quint16 port, QObject *parent, QString *error)
{
    auto *socket = new QUdpSocket;
    if (!socket->bind(address, port)) {
        if (error)
            *error = QStringLiteral("cannot bind UDP %1:%2: %3").arg(address.toString()).arg(port)
                         .arg(socket->errorString());
        delete socket;
        return nullptr;
    }
    return new UdpPort(socket, parent);
}

UdpPort::UdpPort(QUdpSocket *socket, QObject *parent) : QObject(parent), m_socket(socket)
{
    socket->setParent(this);
    connect(socket, &QUdpSocket::readyRead, this, &UdpPort::readDatagrams);
}

quint16 UdpPort::port() const
{
    return m_socket->localPort();
}

void UdpPort::readDatagrams()
{
    while (m_socket->hasPendingDatagrams()) {
        QByteArray datagram(int(qMax<qint64>(0, m_socket->pendingDatagramSize())), Qt::Uninitialized);
        QHostAddress peer;
        quint16 peerPort = 0;
        const qint64 n = m_socket->readDatagram(datagram.data(), datagram.size(), &peer, &peerPort);
        if (n < 0)
            continue;
        datagram.truncate(int(n));
        linkFor(peer, peerPort)->takeDatagram(datagram);
    }
}

UdpLink *UdpPort::linkFor(const QHostAddress &peer, quint16 peerPort)
{
    const QString key = peer.toString() + QLatin1Char(':') + QString::number(peerPort);
    if (UdpLink *link = m_links.value(key))
        return link;
    if (m_links.size() >= MaxUdpSenders) {
        for (auto it = m_links.begin(); it != m_links.end();) {
            if (it.value()->idle()) {
                delete it.value();
                it = m_links.erase(it);
            } else {
                ++it;
            }
        }
    }
    auto *link = new UdpLink(m_socket, peer, peerPort, m_name + QStringLiteral(" client ") + key, this);
    m_links.insert(key, link);
    emit newLink(link);
    return link;
}
