#pragma once
// Connections the simulator serves: one TCP client, one sender of UDP
// datagrams, a pseudo-terminal master or a serial port. Each keeps the bytes received so far until a request is complete.
// All of them live in the simulator's worker thread.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTcpSocket;
class QUdpSocket;
class QSerialPort;
class QTimer;

// Like a PLC on a line, a link answers strictly in order, one answer after the
// other: everything it sends goes through one queue, and a delayed item holds
// back every item behind it. On a paced line (a pseudo-terminal given a line
// speed) the bytes leave one character time apart, and an answer starts only
// after the request's last character would have arrived.
class SimLink : public QObject
{
    Q_OBJECT
public:
    explicit SimLink(const QString &endpoint, QObject *parent = nullptr);

    QString endpoint() const { return m_endpoint; }
    QByteArray buffer;

    // Queues bytes to go out `delayMs` after the item before them has gone.
    void send(const QByteArray &bytes, int delayMs = 0);
    // Queues dropping the connection (TCP; lines that the PLC cannot close
    // keep running) or closing the line for good (vanish).
    void queueHangUp(int delayMs = 0);
    void queueVanish();
    // A request of `bytes` characters has just been received.
    void noteRequest(int bytes);
    // Paces the line at `baud` (10 bits a character, as 7E1 and 8N1 take);
    // 0: no pacing.
    void setLineSpeed(int baud);

    // Nothing is waiting to go out.
    bool idle() const { return m_queue.isEmpty(); }

    // Drops the connection (TCP). Lines that cannot be closed by the PLC keep running.
    virtual void hangUp() {}
    // The device goes away for good: a line closes, a TCP connection drops.
    virtual void vanish() { hangUp(); }

signals:
    void received(SimLink *link);

protected:
    virtual void writeNow(const QByteArray &bytes) = 0;

private:
    struct Item {
        enum Kind { Bytes, HangUp, Vanish } kind;
        QByteArray bytes;
        int delayMs;
    };
    void pump();

    QString m_endpoint;
    QList<Item> m_queue;
    QTimer *m_timer;
    QElapsedTimer m_clock;
    qint64 m_charUs = 0;       // character time on a paced line
    qint64 m_lineFreeUs = 0;   // the line carries nothing before this time
    qint64 m_headDueUs = -1;   // when the head item may start, once scheduled
    int m_headSent = 0;        // bytes of the head item already sent
};

class TcpLink : public SimLink
{
    Q_OBJECT
public:
    TcpLink(QTcpSocket *socket, const QString &endpoint, QObject *parent);
    void hangUp() override;

protected:
    void writeNow(const QByteArray &bytes) override;

private:
    QTcpSocket *m_socket;
};

// One sender of datagrams to a UDP endpoint, as the PLC keeps it apart like a
// TCP client: each datagram is a request of its own (never joined to what came
// before), and each queued answer goes back to the sender's address and port
// as one datagram, so a split answer is two of them.
class UdpLink : public SimLink
{
    Q_OBJECT
public:
    UdpLink(QUdpSocket *socket, const QHostAddress &peer, quint16 peerPort, const QString &endpoint,
            QObject *parent);
    void takeDatagram(const QByteArray &datagram);

protected:
    void writeNow(const QByteArray &bytes) override;

private:
    QUdpSocket *m_socket;
    QHostAddress m_peer;
    quint16 m_peerPort;
};

// A UDP endpoint: one socket bound to the PLC's port, one link per sender.
class UdpPort : public QObject
{
    Q_OBJECT
public:
    // Null with *error set when the port cannot be bound.
    static UdpPort *open(const QHostAddress &address, quint16 port, QObject *parent, QString *error);
    quint16 port() const;
    // The endpoint's name, which the links' names start with.
    void setName(const QString &name) { m_name = name; }

signals:
    void newLink(UdpLink *link);

private:
    explicit UdpPort(QUdpSocket *socket, QObject *parent);
    void readDatagrams();
    UdpLink *linkFor(const QHostAddress &peer, quint16 peerPort);

    QUdpSocket *m_socket;
    QString m_name;
    QHash<QString, UdpLink *> m_links;
};

// Master side of a pseudo-terminal pair. The slave stays open here as well, so
// the pair survives a client that opens and closes the slave again and again.
class PtyLink : public SimLink
{
    Q_OBJECT
public:
    static PtyLink *open(QObject *parent, QString *error);
    ~PtyLink() override;
    QString slavePath() const { return m_slavePath; }
    void vanish() override;

protected:
    void writeNow(const QByteArray &bytes) override;

private:
    void closeFds();
    PtyLink(int master, int slave, const QString &path, QObject *parent);
    void readMaster();
    void flushPending();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_pending;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};

struct SerialDefaults;

class SerialLink : public SimLink
{
    Q_OBJECT
public:
    // settings: PATH[,BAUD[,DATABITS[,STOPBITS[,PARITY]]]]; what they leave out
    // comes from the protocol's defaults (its row in SimProtocolRegistry).
    static SerialLink *open(const QString &settings, const SerialDefaults &defaults, QObject *parent,
                            QString *error);
    void vanish() override;

protected:
    void writeNow(const QByteArray &bytes) override;

private:
    SerialLink(QSerialPort *port, const QString &endpoint, QObject *parent);
    QSerialPort *m_port;
};
