#pragma once
// Link class of the MC protocol 3E binary plug-in: batch read and batch write
// frames. The frame builders, the completeness test and the answer parsers are
// static and look only at the bytes they are given.

#include "McAddress.h"
#include "McLink.h"

class CmdNorvessa : public CMcLink
{
    Q_OBJECT
public:
    explicit CmdNorvessa(QObject *parent = nullptr);

    // 3E device codes of the devices the address texts name most.
    enum DeviceCode { CodeX = 0x9C, CodeY = 0x9D, CodeM = 0x90, CodeD = 0xA8, CodeW = 0xB4,
                      CodeR = 0xAF, CodeZR = 0xB0 };
    // The devices: name, code, number base, bit device, read only.
    static const McDeviceTable &devices();

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

    // The frame variant from the next request on: 3E or 4E (profile key
    // frame=), binary or ASCII (code=). 3E binary is the default.
    void setFrameForm(bool fourE, bool ascii);
    // The serial number the next 4E request carries; each request takes the next.
    quint16 nextSerial() const { return m_serial; }

    // How the link takes an answer of a variant to the request with `serial`:
    // its judge, its test for another request's answer (4E only) and its 3E
    // binary form (empty for an answer that is none of this variant's).
    struct AnswerForm {
        AnswerJudge judge;
        AnswerJudge foreign;
        std::function<QByteArray(const QByteArray &answer)> to3E;
    };
    static AnswerForm answerForm(bool fourE, bool ascii, quint16 serial);

    // In ASCII code a decimal device number has six digits: 999999 at most.
    int highestDevice(int deviceCode) const override;

protected:
    McRequest request(Op op, int deviceCode, int headDevice, int points, const QByteArray &data,
                      int pointBytes) const override;

private:
    // The 3E binary request `r` in the configured variant.
    void toFrameForm(McRequest *r, int deviceCode) const;
    // The base the ASCII request writes the area's device numbers in: ZR,
    // numbered in decimal by users, is written in hexadecimal digits.
    static int asciiBase(int deviceCode);

    bool m_fourE = false;
    bool m_ascii = false;
    mutable quint16 m_serial = 0;
};
