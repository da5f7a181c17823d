#pragma once
// What the TCP and UDP media share about their peer: its socket address made
// from a numeric address, and the line time both assume behind it.

#include "LinkMedium.h"

#include <QHostAddress>
#include <sys/socket.h>

struct PeerAddress {
    sockaddr_storage storage = {};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr *data() const { return reinterpret_cast<const sockaddr *>(&storage); }
};

// An IPv4-mapped IPv6 address goes out as IPv4: that works even where the
// system has IPv6 turned off. False for an address that is none of both.
bool toSocketAddress(const QHostAddress &address, quint16 port, PeerAddress *out);

// A PLC behind a serial-to-Ethernet gateway still talks at its line's rate.
inline int gatewayLineTimeMs(int bytes)
{
    return lineTimeAtBaud(bytes, 9600);
}
