#pragma once
// The part of the MC protocol link classes that 1E and 3E share: the three
// requests a transfer is made of (word read, word write, bit write) as pieces
// for the link's runner. The derived class says how each request looks, when
// its answer is complete and what the answer means.

#include "LinkTransport.h"
#include "McAddress.h"

class CMcLink : public CLinkTransport
{
    Q_OBJECT
public:
    explicit CMcLink(const LinkProfile &profile, QObject *parent = nullptr);

    // Batch read in word units of byteLength / 2 points (at least 1) from
    // headDevice; the data bytes are appended to *out. 0, -1 refused or
    // malformed answer (or a request the frame cannot carry), -2 no answer,
    // -3 not connected, Busy.
    // pointBytes 4: points of 4 bytes each (32-bit counters), where the frame has them.
    int read_cmd(int deviceCode, int headDevice, int byteLength, QString areaText, QByteArray *out,
                 int pointBytes = 2);
    // Batch write in word units: data holds whole words (or points of
    // pointBytes), each low byte first. Same results as read_cmd.
    int write_cmd(int deviceCode, int headDevice, QString areaText, QByteArray data, int pointBytes = 2);
    // Batch write in bit units from headDevice: one byte per point in `points`
    // (non-zero = on). Same results.
    int write_bit_cmd(int deviceCode, int headDevice, QString areaText, QByteArray points);

    // Every request carries a monitoring timer of 10 x 250 ms: the PLC answers
    // within it, with an error code of its own at the latest. That is the
    // PLC's time of every answer wait, and after a failed exchange a serial
    // line must stay quiet that long before the next request.
    static constexpr int MonitoringAllowanceMs = 2600;

    // A complete answer read: 0 parsed; else the PLC's own refusal (plcError,
    // with its end or completion code) or a malformed answer.
    static AnswerVerdict verdictOf(int parsed, bool plcError, int code);

    // The highest device number of the area that the configured frame can
    // carry; a transfer past it is refused before anything is sent.
    virtual int highestDevice(int deviceCode) const
    {
        Q_UNUSED(deviceCode);
        return McMaxDeviceNumber;
    }

protected:
    enum class Op { Read, WordWrite, BitWrite };
    // One request of this frame variant; empty `bytes` when the frame cannot
    // carry it (nothing is sent then).
    struct McRequest {
        QByteArray bytes;
        int answerBytes = 0;
        AnswerJudge judge;
        AnswerJudge foreign;  // tagged answers: see AnswerRule::foreign
        std::function<AnswerVerdict(const QByteArray &answer, QByteArray *data)> parse;
    };
    // `data`: the words of a word write, the points of a bit write; pointBytes:
    // bytes a point of a word-unit request (2, or 4 for 32-bit counters).
    virtual McRequest request(Op op, int deviceCode, int headDevice, int points, const QByteArray &data,
                              int pointBytes) const = 0;

private:
    int run(Op op, int deviceCode, int headDevice, int points, const QString &areaText, const QByteArray &data,
            QByteArray *out, int pointBytes = 2);
};
