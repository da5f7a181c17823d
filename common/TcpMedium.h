#pragma once
// A TCP connection as a link medium: a non-blocking socket used with send,
// poll and recv directly.

#include "LinkMedium.h"

#include <QHostAddress>
#include <memory>

class TcpMedium : public LinkMedium
{
public:
    ~TcpMedium() override;

    enum ConnectResult { Connected = 0, NotConnected = -3 };
    // Connects to a numeric IPv4 or IPv6 address within waitMs (a refused
    // port fails at once; a raised wake-up ends the wait). With keepAlive the
    // system probes an idle connection (first after 5 s, every 2 s, lost after
    // 3), so a pulled cable shows as lost. Null with *result = NotConnected.
    static std::unique_ptr<TcpMedium> connectTo(const QHostAddress &address, quint16 port, int waitMs,
                                                bool keepAlive, const LinkWake *wake, int *result);

    bool announcesClose() const override { return true; }
    bool connectedTo(const QString &address, quint16 port) const override
    {
        return usable() && QHostAddress(address) == m_address && m_port == port;
    }

    bool usable() const override;
    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    Wait waitReadable(const QDeadlineTimer &deadline) override;
    QByteArray readAvailable(int maxBytes) override;
    void dropInput() override;
    int lineTimeMs(int bytes) const override;
    bool reset(int guardMs) override;
    bool lost() const override { return m_fd < 0; }
    int errorCode() const override { return m_error; }
    void close() override;
    QString traceAddress() const override { return m_address.toString(); }
    int tracePort() const override { return m_port; }
    QString lossAddress() const override { return m_address.toString(); }
    int lossPort() const override { return m_port; }

    // Longest wait for the new connection of a reset.
    static constexpr int ReconnectWaitMs = 3000;

private:
    TcpMedium(const QHostAddress &address, quint16 port, bool keepAlive);
    bool open(int waitMs);
    // Waits for a non-blocking connect: 0 connected, an errno value, or -1
    // when the wake-up was raised.
    int awaitConnected(const QDeadlineTimer &deadline) const;
    void markLost(int error);

    int m_fd = -1;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_keepAlive = false;
    int m_error = -1;
    bool m_endSeen = false;  // the last wait saw the peer close or fail
};
