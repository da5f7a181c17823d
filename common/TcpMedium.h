#pragma once
// A TCP connection as a link medium: a non-blocking socket used with send,
// poll and recv directly.

#include "IpMedium.h"

#include <QHostAddress>
#include <memory>

class TcpMedium : public IpMedium
{
public:

    enum ConnectResult { Connected = 0, NotConnected = -3 };
    // Connects to a numeric IPv4 or IPv6 address within waitMs (a refused
    // port fails at once; a raised wake-up ends the wait). With keepAlive the
    // system probes an idle connection (first after 5 s, every 2 s, lost after
    // 3), so a pulled cable shows as lost. Null with *result = NotConnected.
    static std::unique_ptr<TcpMedium> connectTo(const QHostAddress &address, quint16 port, int waitMs,
                                                bool keepAlive, const LinkWake *wake, int *result);

    bool announcesClose() const override { return true; }

    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    Wait waitReadable(const QDeadlineTimer &deadline) override;
    QByteArray readAvailable(int maxBytes) override;
    void dropInput() override;
    bool reset(int guardMs) override;

    // Longest wait for the new connection of a reset.
    static constexpr int ReconnectWaitMs = 3000;

private:
    TcpMedium(const QHostAddress &address, quint16 port, bool keepAlive);
    bool open(int waitMs);
    // Waits for a non-blocking connect: 0 connected, an errno value, or -1
    // when the wake-up was raised.
    int awaitConnected(const QDeadlineTimer &deadline) const;
    void markLost(int error);

    bool m_keepAlive = false;
    bool m_endSeen = false;  // the last wait saw the peer close or fail
};
