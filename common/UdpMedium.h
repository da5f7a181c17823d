#pragma once
// UDP as a link medium: one request goes out as one datagram, its answer comes
// back as one datagram. The socket is connected to the PLC's address and port,
// so the system drops datagrams from anywhere else. The answer of a request is
// the first datagram after it; a second one is never joined to it, so an
// answer that comes in two pieces stays a cut one.
//
// A datagram the system received before the request went out is no answer to
// it (a late or duplicated one of an earlier request): the receive time the
// system stamps on every datagram tells, so it is skipped where it is read,
// with no call of its own before each request. Stamps are trusted only once
// one has shown to be taken when its datagram came: while the system is still
// switching its stamping on (the first stamped socket after none), and on
// systems that give none (some emulators), a datagram carries the time it is
// read or nothing. Until then what waits is read away before each request.
//
// There is no connection to lose: a lost datagram is an answer that never
// comes (a time-out). After a failed exchange reset() moves to a new socket on
// another local port, so a late answer of the old request goes nowhere.

#include "IpMedium.h"

#include <QHostAddress>
#include <memory>

class UdpMedium : public IpMedium
{
public:

    // A socket on a free local port with the PLC as its peer (nothing is
    // sent). Null when the address is no IP address or the system gives no socket.
    static std::unique_ptr<UdpMedium> open(const QHostAddress &address, quint16 port, const LinkWake *wake);

    bool sendsDatagrams() const override { return true; }

    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    Wait waitReadable(const QDeadlineTimer &deadline) override;
    QByteArray readAvailable(int maxBytes) override;
    void dropInput() override;
    bool reset(int guardMs) override;

private:
    UdpMedium(const QHostAddress &address, quint16 port) : IpMedium(address, port) {}
    // A connected socket for the peer, -1 when there is none.
    int newSocket() const;

    bool m_answered = false;  // the datagram of the last request has been read
    qint64 m_sentAtNs = 0;    // wall-clock time of the last request, as the stamps count
    bool m_stamped = false;   // the last datagram read carried the time it came
};
