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
    // Every request carries a monitoring timer of 10 x 250 ms: the PLC answers
    // within it, with an error code of its own at the latest. Every answer
    // wait covers it, and after a failed exchange a serial line must stay
    // quiet that long before the next request.
    static constexpr int MonitoringAllowanceMs = 2600;

protected:
    enum class Kind { Read, Write };
    // One traced exchange for an answer of normally `answerBytes` bytes, given
    // at least `timeoutMs` (and the monitoring timer): -3 not connected
    // (nothing sent, no trace), Busy, -2 nothing arrived, -1 the answer stayed
    // incomplete, 0 a complete answer in *answer.
    int exchange(Kind kind, const QByteArray &request, const QString &areaText, int timeoutMs,
                 int answerBytes, const AnswerJudge &judge, QByteArray *answer);
    // Passes a parser's result on. A rejected answer makes the link recover
    // before the next request, unless it is the PLC's complete error answer
    // (`plcError`): that one ended the exchange in step, the link stays clean.
    int judged(int parsed, bool plcError);
};
