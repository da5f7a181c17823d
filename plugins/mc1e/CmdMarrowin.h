#pragma once
// Link class of the MC protocol 1E binary plug-in: word batch read, word batch
// write and bit batch write. The frame builders, the completeness test and the
// answer parsers are static and look only at the bytes they are given.

#include "McLink.h"

class CmdMarrowin : public CMcLink
{
    Q_OBJECT
public:
    explicit CmdMarrowin(QObject *parent = nullptr);

    enum Subheader { BitRead = 0x00, WordRead = 0x01, BitWrite = 0x02, WordWrite = 0x03 };
    // The point field is one byte; 0 stands for 256.
    static constexpr int MaxPoints = 256;
    // Completion code after which one more byte (the abnormal code) follows.
    static constexpr int CodeWithAbnormalByte = 0x5B;

    // Requests: subheader, PC number, monitoring timer, head device (three bytes
    // and 0x00), device code (two bytes), points (low 8 bits), 0x00, data.
    static QByteArray buildReadRequest(int deviceCode, int headDevice, int points);
    // Word write of data.size() / pointBytes points (each low byte first;
    // 32-bit counters are 4 bytes a point).
    static QByteArray buildWordWriteRequest(int deviceCode, int headDevice, const QByteArray &data,
                                            int pointBytes = 2);
    // Bit write, one byte per point in `points` (non-zero = on).
    static QByteArray buildBitWriteRequest(int deviceCode, int headDevice, const QByteArray &points);

    // Bytes still missing from an answer whose normal form is `normalLength`
    // bytes long (2 for writes, 2 + 2 x points for word reads): an error answer
    // is complete after its completion code, or after the abnormal code that
    // follows 0x5B.
    static int answerMissing(const QByteArray &soFar, int normalLength);
    // A word read answer of `points` words (of pointBytes each): 0 with the data
    // appended to *data when the answer is exactly 0x81 0x00 and pointBytes x
    // points data bytes; else -1.
    static int parseReadAnswer(const QByteArray &answer, int points, QByteArray *data, int pointBytes = 2);
    // A write answer to `subheader`: 0 for exactly (subheader | 0x80) 0x00; else -1.
    static int parseWriteAnswer(const QByteArray &answer, int subheader);
    // The PLC's own refusal of a `subheader` request: (subheader | 0x80), a
    // completion code other than 0, and the abnormal code after 0x5B, nothing
    // more. It ends its exchange in step, unlike a cut or garbled answer.
    static bool isErrorAnswer(const QByteArray &answer, int subheader);

protected:
    McRequest request(Op op, int deviceCode, int headDevice, int points, const QByteArray &data,
                      int pointBytes) const override;
};
