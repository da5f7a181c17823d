#include "IpMedium.h"

#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

void IpMedium::close()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}

bool IpMedium::peerAddress(PeerAddress *out) const
{
    bool v4 = false;
    const quint32 ip4 = m_address.toIPv4Address(&v4);
    if (v4) {
        auto *in = reinterpret_cast<sockaddr_in *>(&out->storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(m_port);
        in->sin_addr.s_addr = htonl(ip4);
        out->length = sizeof *in;
        return true;
    }
    if (m_address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&out->storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(m_port);
    const Q_IPV6ADDR ip6 = m_address.toIPv6Address();
    std::memcpy(&in6->sin6_addr, &ip6, sizeof ip6);
    const QString scope = m_address.scopeId();
    bool numeric = false;
    const uint index = scope.toUInt(&numeric);
    in6->sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toLatin1().constData());
    out->length = sizeof *in6;
    return true;
}
