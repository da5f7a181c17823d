#include "IpPeer.h"

#include <cstring>
#include <net/if.h>
#include <netinet/in.h>

bool toSocketAddress(const QHostAddress &address, quint16 port, PeerAddress *out)
{
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4) {
        auto *in = reinterpret_cast<sockaddr_in *>(&out->storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(ip4);
        out->length = sizeof *in;
        return true;
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&out->storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    const Q_IPV6ADDR ip6 = address.toIPv6Address();
    std::memcpy(&in6->sin6_addr, &ip6, sizeof ip6);
    const QString scope = address.scopeId();
    bool numeric = false;
    const uint index = scope.toUInt(&numeric);
    in6->sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toLatin1().constData());
    out->length = sizeof *in6;
    return true;
}
