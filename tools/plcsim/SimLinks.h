#pragma once
// Connections the simulator serves: one TCP client, a pseudo-terminal master or a
// serial port. Each keeps the bytes received so far until a request is complete.
// All of them live in the simulator's worker thread.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTcpSocket;
class QSerialPort;

class SimLink : public QObject
{
    Q_OBJECT
public:
    explicit SimLink(const QString &endpoint, QObject *parent = nullptr)
        : QObject(parent), m_endpoint(endpoint) {}

    QString endpoint() const { return m_endpoint; }
    QByteArray buffer;

    virtual void send(const QByteArray &bytes) = 0;
    // Drops the connection (TCP). Lines that cannot be closed by the PLC keep running.
    virtual void hangUp() {}

signals:
    void received(SimLink *link);

private:
    QString m_endpoint;
};

class TcpLink : public SimLink
{
    Q_OBJECT
public:
    TcpLink(QTcpSocket *socket, const QString &endpoint, QObject *parent);
    void send(const QByteArray &bytes) override;
    void hangUp() override;

private:
    QTcpSocket *m_socket;
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
    void send(const QByteArray &bytes) override;

private:
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

class SerialLink : public SimLink
{
    Q_OBJECT
public:
    // settings: PATH[,BAUD[,DATABITS[,STOPBITS[,PARITY]]]]; fxport defaults to 9600
    // 7E1, the other protocols to 9600 8N1.
    static SerialLink *open(const QString &settings, const QString &protocol, QObject *parent, QString *error);
    void send(const QByteArray &bytes) override;

private:
    SerialLink(QSerialPort *port, const QString &endpoint, QObject *parent);
    QSerialPort *m_port;
};
