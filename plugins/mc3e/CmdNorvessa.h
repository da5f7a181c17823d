#pragma once
// Link class of the MC protocol 3E binary plug-in: batch read and batch write
// frames. The frame builders, the completeness test and the answer parsers are
// static and look only at the bytes they are given.

#include "McLink.h"

class CmdNorvessa : public CMcLink
{
    Q_OBJECT
public:
    explicit CmdNorvessa(QObject *parent = nullptr);

    static constexpr int HeaderBytes = 9;     // subheader .. response data length
    static constexpr int MaxWordPoints = 960; // per word-unit request
    static constexpr int MaxBitPoints = 7168; // per bit-unit request

    // Requests. The device number goes out as three bytes, the code as one, the
    // number of points as two (low 16 bits).
    static QByteArray buildReadRequest(int deviceCode, int headDevice, int points);
    // Word-unit write of data.size() / 2 words (data: each word low byte first).
    static QByteArray buildWordWriteRequest(int deviceCode, int headDevice, const QByteArray &data);
    // Bit-unit write, one byte per point in `points` (non-zero = on).
    static QByteArray buildBitWriteRequest(int deviceCode, int headDevice, const QByteArray &points);

    // Bytes still missing from an answer: the nine header bytes first, then as
    // many as its response data length announces.
    static int answerMissing(const QByteArray &soFar);
    // End code of a complete answer, -1 when the answer is too short to hold one.
    static int endCode(const QByteArray &answer);
    // A read answer of `points` words: 0 with the data bytes appended to *data
    // when the length field and the length are 2 + 2 x points and the end code
    // is 0; -1 otherwise, with nothing appended.
    static int parseReadAnswer(const QByteArray &answer, int points, QByteArray *data);
    // A write answer: 0 when complete, with response data length 2 and end code 0.
    static int parseWriteAnswer(const QByteArray &answer);
    // The PLC's own refusal: a complete answer (subheader D0 00, response data
    // length 11) with an end code other than 0 and its nine bytes of error
    // information. It ends its exchange in step, unlike a cut or garbled answer.
    static bool isErrorAnswer(const QByteArray &answer);
    static constexpr int ErrorDataLength = 2 + 9;

protected:
    McRequest request(Op op, int deviceCode, int headDevice, int points, const QByteArray &data,
                      int pointBytes) const override;
};
