#pragma once
// Link class of the Lunetta plug-in: the FX computer link, dedicated protocol
// format 1, on top of the common transport.
//
// Request:  ENQ, station (2 hex), PC number "FF", command (2), message wait "0",
//           character area, sum check (2 hex over station .. end of the area).
// Answers:  STX, station, PC, data, ETX, sum check (over station .. ETX)  - read
//           ACK, station, PC                                              - write
//           NAK, station, PC, error code (2 hex)                          - refusal
//
// Everything that looks at bytes (request builders, completeness judges,
// answer parsers) is a static function that reads only what it is handed, so it
// can be exercised with arbitrary input without a link.

#include "LinkTransport.h"
#include <QByteArray>
#include <QString>

class CmdMitsubishi_FX_links : public CLinkTransport
{
    Q_OBJECT
public:
    explicit CmdMitsubishi_FX_links(QObject *parent = nullptr);

    static LinkProfile linkProfile();

    // Control characters of the protocol.
    static constexpr char ENQ = 0x05;
    static constexpr char STX = 0x02;
    static constexpr char ETX = 0x03;
    static constexpr char ACK = 0x06;
    static constexpr char NAK = 0x15;

    // Length of an ACK answer and of a NAK answer (NAK carries a 2-digit code).
    static constexpr int AckAnswerLength = 5;
    static constexpr int NakAnswerLength = 7;
    // The points field has two hex digits: one request never carries more.
    static constexpr int MaxPointsField = 255;

    // Per-command limits of FX2N/FX3U-class PLCs. Bit devices (X, Y, M, S)
    // accessed in word units are limited further.
    static constexpr int MaxReadWords = 64;
    static constexpr int MaxReadWordsBitDevice = 32;
    static constexpr int MaxWriteWords = 64;
    static constexpr int MaxWriteWordsBitDevice = 10;
    static constexpr int MaxWritePoints = 160;

    // How an answer was judged.
    enum AnswerVerdict {
        AnswerOk = 0,
        AnswerEmpty,      // nothing came back
        AnswerBadLength,  // not the length the request asks for
        AnswerBadCheck,   // framing, sum check, station/PC number or data characters wrong
        AnswerNak         // the PLC refused the request (NAK with an error code)
    };

    // ---- pure frame functions -------------------------------------------------

    // 0..15 -> '0'..'9', 'A'..'F'; other values unchanged.
    static unsigned short GetHexconversionchar(unsigned short v);
    // '0'..'9', 'A'..'F' -> 0..15; other characters unchanged.
    static unsigned short GetcharconversionHex(unsigned short c);
    // Sum of the byte values from offset 1 up to (not including) `count`, kept
    // to 16 bits; 0 when count is below 2. Positions beyond the frame count as 0.
    static quint16 And_Check(const QByteArray &frame, unsigned char count);

    // Two uppercase hex characters of the station number's low 8 bits.
    static QByteArray stationText(int station);
    // A whole request: ENQ, station, "FF", command, "0", area, sum check.
    // Empty when the command is not two characters.
    static QByteArray buildRequest(int station, const QByteArray &command, const QByteArray &area);
    // WR: `head` is the 5-character head device (D0100, TN005), `words`
    // 1..255. Empty on any invalid argument.
    static QByteArray buildReadRequest(int station, const QByteArray &head, int words);
    // WW: `wordChars` holds four uppercase hex characters per word (most
    // significant first), 1..255 words. Empty on any invalid argument.
    // `points`: the points field where it is not the number of words (the
    // 32-bit counters C200-C255 have 8 characters a point); 0: the words.
    static QByteArray buildWordWriteRequest(int station, const QByteArray &head, const QByteArray &wordChars,
                                            int points = 0);
    // BW: `pointChars` holds one '0' or '1' per point, 1..255 points. Empty on
    // any invalid argument.
    static QByteArray buildBitWriteRequest(int station, const QByteArray &head, const QByteArray &pointChars);

    // Expected length of the answer to a WR of `words` words.
    static int readAnswerLength(int words);
    // Answer judges for the link: bytes still missing (0 = judge it now).
    static int readAnswerMissing(const QByteArray &soFar, int words);
    static int writeAnswerMissing(const QByteArray &soFar);

    // Checks the answer to `request` (a WR of `words` words). On AnswerOk the
    // data characters are appended to `digits` as digit values (0..15), four per
    // word; nothing is appended otherwise. `nakCode` (optional) receives the
    // error code of a NAK answer, -1 when it is not readable.
    static AnswerVerdict parseReadAnswer(const QByteArray &request, const QByteArray &answer,
                                         int words, QByteArray *digits, int *nakCode = nullptr);
    // Checks the answer to a write request: ACK with the request's station and
    // PC number is AnswerOk.
    static AnswerVerdict parseWriteAnswer(const QByteArray &request, const QByteArray &answer,
                                          int *nakCode = nullptr);

    // ---- exchanges ------------------------------------------------------------

    // Word read: `deviceNumber` is the head device's digits (four after a
    // one-letter name, three after a two-letter one), the device name is the
    // leading letters of `address` (sent in upper case), n words.
    // 0 data appended to `out`; -1 answer rejected; -2 no answer; -3 not
    // connected (nothing sent); Busy; 1 invalid request (nothing sent).
    // `points` as in buildWordWriteRequest: n words are read in any case.
    int read_cmd(int station, QString deviceNumber, int n, QString address, QByteArray *out, int points = 0);
    // Word write (WW) of `wordChars` (four hex characters per word) or bit write
    // (BW) of `pointChars` ('0'/'1' per point) from the head device given as in
    // read_cmd. 0 on ACK; -1 NAK or malformed answer; -2 no answer; -3 not
    // connected; Busy; 1 invalid request (nothing sent).
    int write_words(int station, QString deviceNumber, const QByteArray &wordChars, QString address,
                    int points = 0);
    int write_bits(int station, QString deviceNumber, const QByteArray &pointChars, QString address);

private:
    int write(const QByteArray &frame, int points, const QString &address);
    static QByteArray headDevice(const QString &address, const QString &deviceNumber);
};
