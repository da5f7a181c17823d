#pragma once
// The far end of a link for the transport tests: a scripted device that runs on
// its own thread, so it answers while the link blocks the test's thread in its
// waits. One peer listens on a loopback TCP port, the other sits on the master
// side of a pseudo-terminal whose slave side the link opens as a serial port.
//
// A script is a list of turns. Each turn waits for one request (any bytes),
// records it, and then writes its replies, each after its own pause.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <semaphore.h>
#include <unistd.h>

struct PeerReply {
    int delayMs;
    QByteArray bytes;
};

struct PeerTurn {
    QList<PeerReply> replies;
};

class ScriptedPeer
{
public:
    virtual ~ScriptedPeer() = default;

    // Every request the peer read, one entry per turn, plus whatever came after
    // the last turn as one more entry.
    QList<QByteArray> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    // True once every turn of the script has been played.
    bool scriptDone() const { return m_done.load(); }
    // Replies written so far.
    int repliesWritten() const { return m_written.load(); }
    // Blocks (without an event loop) until `count` replies are written and
    // then `settleMs` more, so they have reached the other side.
    bool waitForReplies(int count, int settleMs = 50, int limitMs = 5000) const
    {
        QElapsedTimer clock;
        clock.start();
        while (repliesWritten() < count) {
            if (clock.elapsed() > limitMs)
                return false;
            QThread::msleep(5);
        }
        QThread::msleep(settleMs);
        return true;
    }

protected:
    void record(const QByteArray &bytes)
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(bytes);
    }
    void appendToLast(const QByteArray &bytes)
    {
        QMutexLocker lock(&m_mutex);
        if (m_requests.isEmpty())
            m_requests.append(bytes);
        else
            m_requests.last().append(bytes);
    }

    QList<PeerTurn> m_turns;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<int> m_written{0};

private:
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
};

// Listens on 127.0.0.1 (a free port), accepts one connection and plays the
// script on it. With closeAtEnd the connection is closed after the last turn.
class TcpPeer : public ScriptedPeer
{
public:
    explicit TcpPeer(const QList<PeerTurn> &turns, bool closeAtEnd = false)
        : m_closeAtEnd(closeAtEnd)
    {
        m_turns = turns;
        sem_init(&m_ready, 0, 0);
        m_thread = QThread::create([this] { run(); });
        m_thread->start();
        sem_wait(&m_ready);
    }
    ~TcpPeer() override
    {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
        sem_destroy(&m_ready);
    }
    quint16 port() const { return m_port; }
    int connectionsAccepted() const { return m_accepted.load(); }

private:
    void run()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        sem_post(&m_ready);

        QTcpSocket *socket = nullptr;
        while (!m_stop && !socket) {
            if (server.waitForNewConnection(20)) {
                socket = server.nextPendingConnection();
                ++m_accepted;
            }
        }
        if (!socket)
            return;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

        for (const PeerTurn &turn : qAsConst(m_turns)) {
            QByteArray request;
            while (!m_stop && request.isEmpty()) {
                socket->waitForReadyRead(20);
                request = socket->readAll();
                if (socket->state() != QAbstractSocket::ConnectedState && request.isEmpty())
                    break;
            }
            if (request.isEmpty())
                break;
            record(request);
            for (const PeerReply &reply : turn.replies) {
                if (reply.delayMs > 0)
                    QThread::msleep(reply.delayMs);
                socket->write(reply.bytes);
                socket->flush();
                socket->waitForBytesWritten(1000);
                ++m_written;
            }
        }
        m_done = true;
        if (m_closeAtEnd) {
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        } else {
            record(QByteArray());
            while (!m_stop && socket->state() == QAbstractSocket::ConnectedState) {
                socket->waitForReadyRead(20);
                const QByteArray late = socket->readAll();
                if (!late.isEmpty())
                    appendToLast(late);
                // Further connections (a reconnect) are counted, not served.
                if (server.waitForNewConnection(0)) {
                    delete server.nextPendingConnection();
                    ++m_accepted;
                }
            }
        }
        delete socket;
    }

    bool m_closeAtEnd;
    QThread *m_thread = nullptr;
    sem_t m_ready;
    quint16 m_port = 0;
    std::atomic<int> m_accepted{0};
};

// A pseudo-terminal pair: the link opens slaveName() as its serial port, the
// test (or a PtyPeer) reads and writes the master side.
class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {0};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_name = QString::fromLocal8Bit(name);
    }
    ~PtyPair()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0 && !m_name.isEmpty(); }
    QString slaveName() const { return m_name; }
    int master() const { return m_master; }
    // The device goes away: the slave side sees a hang-up.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    void write(const QByteArray &bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }
    // Whatever the link wrote, collected for up to `ms` (returns early once
    // something came and the line stayed quiet for 20 ms).
    QByteArray read(int ms) const
    {
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            pollfd p{m_master, POLLIN, 0};
            const int wait = out.isEmpty() ? 10 : 20;
            if (::poll(&p, 1, wait) > 0 && (p.revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0) {
                    out.append(buffer, int(n));
                    continue;
                }
            }
            if (!out.isEmpty())
                break;
        }
        return out;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_name;
};

// Plays a script on the master side of a pseudo-terminal.
class PtyPeer : public ScriptedPeer
{
public:
    PtyPeer(const PtyPair &pty, const QList<PeerTurn> &turns) : m_pty(pty)
    {
        m_turns = turns;
        m_thread = QThread::create([this] { run(); });
        m_thread->start();
    }
    ~PtyPeer() override
    {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }

private:
    void run()
    {
        for (const PeerTurn &turn : qAsConst(m_turns)) {
            QByteArray request;
            while (!m_stop && request.isEmpty())
                request = m_pty.read(50);
            if (request.isEmpty())
                return;
            record(request);
            for (const PeerReply &reply : turn.replies) {
                if (reply.delayMs > 0)
                    QThread::msleep(reply.delayMs);
                m_pty.write(reply.bytes);
                ++m_written;
            }
        }
        m_done = true;
        record(QByteArray());
        while (!m_stop) {
            const QByteArray late = m_pty.read(20);
            if (!late.isEmpty())
                appendToLast(late);
        }
    }

    const PtyPair &m_pty;
    QThread *m_thread = nullptr;
};
