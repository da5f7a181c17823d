#pragma once
// What the TCP and UDP media share: the PLC's IP address and port, the
// socket, the error that lost it, and the line time assumed behind it.

#include "LinkMedium.h"

#include <QHostAddress>
#include <sys/socket.h>

struct PeerAddress {
    sockaddr_storage storage = {};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr *data() const { return reinterpret_cast<const sockaddr *>(&storage); }
};

class IpMedium : public LinkMedium
{
public:
    ~IpMedium() override { close(); }

    bool connectedTo(const QString &address, quint16 port) const override
    {
        return usable() && QHostAddress(address) == m_address && m_port == port;
    }
    bool usable() const override { return m_fd >= 0; }
    bool lost() const override { return m_fd < 0; }
    int errorCode() const override { return m_error; }
    void close() override;
    // A PLC behind a serial-to-Ethernet gateway still talks at its line's rate.
    int lineTimeMs(int bytes) const override { return lineTimeAtBaud(bytes, 9600); }
    QString traceAddress() const override { return m_address.toString(); }
    int tracePort() const override { return m_port; }
    QString lossAddress() const override { return m_address.toString(); }
    int lossPort() const override { return m_port; }

protected:
    IpMedium(const QHostAddress &address, quint16 port) : m_address(address), m_port(port) {}
    // The peer's socket address. An IPv4-mapped IPv6 address goes out as IPv4:
    // that works even where the system has IPv6 turned off. False for an
    // address that is none of both.
    bool peerAddress(PeerAddress *out) const;

    int m_fd = -1;
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_error = -1;
};
