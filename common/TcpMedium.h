#pragma once
// A TCP connection as a link medium. The socket is created on the thread that
// connects and has no Qt parent.

#include "LinkMedium.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <memory>

class TcpMedium : public LinkMedium
{
public:
    TcpMedium();
    ~TcpMedium() override;

    QTcpSocket *socket() const { return m_socket.get(); }

    // Starts connecting to the peer and waits up to waitMs. With keepAlive the
    // system probes an idle connection, so a pulled cable shows as lost.
    void connectTo(const QHostAddress &address, quint16 port, int waitMs);
    void setKeepAlive(bool on) { m_keepAlive = on; }

    QIODevice *device() const override;
    bool usable() const override;
    // A healthy exchange goes straight to the connected socket: one send, one
    // poll, one receive, without the socket object's write buffer (which posts
    // an event to flush itself) and its read buffer. Anything unusual (bytes
    // Qt already holds, a partial send, an error, the peer's close) goes the
    // socket object's way, so its state, errors and signals stay its own.
    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    Wait waitReadable(const QDeadlineTimer &deadline) override;
    QByteArray readAvailable() override;
    int lineTimeMs(int bytes) const override;
    bool reset(int guardMs) override;
    bool lost() const override;
    int errorCode() const override { return m_socket ? int(m_socket->error()) : -1; }

    // Longest wait for the new connection of a reset.
    static constexpr int ReconnectWaitMs = 3000;

private:
    void applyOptions();
    int descriptor() const;
    bool writeBuffered(const QByteArray &bytes, const QDeadlineTimer &deadline);

    std::unique_ptr<QTcpSocket> m_socket;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_keepAlive = false;
};
