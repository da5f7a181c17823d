#pragma once
// The benchmark's yardstick: a client that does no more than a PLC exchange
// needs. It writes the request with one system call and reads until the known
// answer length has come, waiting in poll(). The request bytes are written out
// here from the protocols (D registers, word units) and share no code with the
// plug-ins; the benchmark checks them against what the plug-ins send.

#include <QByteArray>
#include <QString>

struct RawFrame {
    QByteArray request;
    int answerLength = 0;  // bytes of the normal answer
    char answerStart = 0;  // first byte of the normal answer
};

// protocol: fxport, fxlink, mc1e, mc3e, mc3e-ascii (the simulator's names).
// Reads `words` registers from D<head> in one frame.
RawFrame rawReadFrame(const QString &protocol, int head, int words);
// Writes one register D<head>.
RawFrame rawWriteFrame(const QString &protocol, int head, quint16 value);

class RawLink
{
public:
    RawLink() = default;
    ~RawLink();
    RawLink(const RawLink &) = delete;
    RawLink &operator=(const RawLink &) = delete;

    // "HOST:PORT" of a TCP server, "udp:HOST:PORT" of a UDP port (one request
    // a datagram, the answer one datagram), or the path of a terminal (made raw).
    bool open(const QString &endpoint, QString *error);
    // One exchange; false on a short, late or unexpected answer (the line is
    // then drained so the next exchange starts clean). The default covers the
    // largest frame on a 9600-baud line (a 960-word 3E read: over 2 s).
    bool exchange(const RawFrame &frame, int timeoutMs = 5000);

private:
    bool readAnswer(const RawFrame &frame, int timeoutMs);
    void drain();

    int m_fd = -1;
    bool m_datagrams = false;
    QByteArray m_buffer;
};
