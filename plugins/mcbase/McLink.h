#pragma once
// The part of the MC protocol link classes that 1E and 3E share: one request,
// one answer, with the trace lines around it. The derived class builds the
// request, says when an answer is complete and judges it.

#include "LinkTransport.h"

class CMcLink : public CLinkTransport
{
    Q_OBJECT
public:
    explicit CMcLink(const LinkProfile &profile, QObject *parent = nullptr);

    // Batch read in word units of byteLength / 2 points (at least 1) from
    // headDevice; the data bytes are appended to *out. 0, -1 refused or
    // malformed answer, -2 no answer, -3 not connected.
    virtual int read_cmd(int deviceCode, int headDevice, int byteLength, QString areaText,
                         QByteArray *out) = 0;
    // Batch write in word units: data holds byteLength bytes, each word low
    // byte first. Same results as read_cmd.
    virtual int write_cmd(int deviceCode, int headDevice, int byteLength, QString areaText,
                          QByteArray data) = 0;
    // Batch write in bit units from headDevice: one byte per point in `points`
    // (non-zero = on). Same results.
    virtual int write_bit_cmd(int deviceCode, int headDevice, QString areaText,
                              QByteArray points) = 0;

    // Time-outs of the exchanges, in milliseconds.
    static constexpr int ReadTimeoutMs = 50;
    // A write waits byteLength x gap interval x 6 ms, but never less than this:
    // a one-word write at the TCP gap interval would otherwise get 24 ms.
    static constexpr int MinWriteTimeoutMs = 50;
    // ... and never more than this: every request carries a monitoring timer of
    // 10 x 250 ms, after which the PLC answers with an error of its own, so an
    // answer that has not come by then will not come (the plain rule would block
    // the host 23 s on an unanswered 960-word write).
    static constexpr int MaxWriteTimeoutMs = 3000;
    int writeTimeoutMs(int byteLength) const;

protected:
    enum class Kind { Read, Write };
    // Connection check, trace lines and SendData: -3 not connected (nothing
    // sent, no trace), -2 nothing arrived, -1 the answer stayed incomplete,
    // 0 a complete answer in *answer.
    int exchange(Kind kind, const QByteArray &request, const QString &areaText, int timeoutMs,
                 const AnswerJudge &judge, QByteArray *answer);
};
