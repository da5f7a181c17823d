#pragma once
// Link class of the FX programming-port plug-in: builds the request frames of the
// programming-port protocol (ASCII hex between STX and ETX, two-character sum),
// says when an answer is complete and what it means; the link runs the exchange.
//
// The frame building and the answer judging are static functions of bytes only,
// so they can be exercised without a link (and fed arbitrary answers).

#include "LinkTransport.h"

#include <QByteArray>
#include <QString>

class CmdMitsubishi_FX_serial : public CLinkTransport
{
    Q_OBJECT
public:
    enum : char {
        STX = 0x02,
        ETX = 0x03,
        ACK = 0x06,
        NAK = 0x15
    };
    // Largest number of data bytes one request carries. The count field would
    // allow 255, but FX PLCs are commonly driven with at most 64 per request.
    static constexpr int MaxBytesPerRequest = 64;

    explicit CmdMitsubishi_FX_serial(QObject *parent = nullptr);

    static LinkProfile kelvaroProfile();

    // Reads N bytes starting at device byte address `byteAddress` and appends
    // 2N digit values (0..15, high digit of each byte first) to *out. The most
    // significant byte of `area` selects the request: 'E' the extended word
    // area (command E00), anything else the plain byte area (command 0).
    // `text` is the host's address text, shown in the trace lines.
    // 0 done; -1 rejected or incomplete answer; -2 no answer; -3 link not usable;
    // Busy (refused, nothing sent); 1 nothing sent (bad arguments).
    int read_cmd(int area, int byteAddress, int N, QString text, QByteArray *out);

    // Extended word area ('E' in the area's top byte): writes N bytes (2N digit
    // values from `data`) at `byteAddress` with command E10.
    // Any other area: forces the bit whose bit address is `byteAddress`; data[0]
    // is the command character, '7' (on) or '8' (off).
    // 0 acknowledged; -1 refused or odd answer; -2 no answer; -3 link not usable;
    // 1 nothing sent (bad arguments).
    int write_cmd(int area, int byteAddress, int N, QString text, QByteArray data);

    // Low 16 bits of the sum of frame[1] .. frame[L - 1] (0 for L <= 1; positions
    // past the end of the frame count as 0).
    static quint16 And_Check(QByteArray frame, int L);
    static unsigned short GetHexconversionchar(unsigned short v);
    static unsigned short GetcharconversionHex(unsigned short c);

    // --- pure frame functions -------------------------------------------------
    // Read request: STX, "E00" (extended) or "0", four address digits, two count
    // digits, ETX, sum. Empty for an address outside 0..0xFFFF or N outside 1..255.
    static QByteArray buildReadRequest(bool extended, int byteAddress, int N);
    // Write request: STX, "E10" (extended) or "1", address, count, the digit
    // values of `digits` as characters (2N of them), ETX, sum. Empty when
    // `digits` does not hold exactly 2N values 0..15 with N in 1..255.
    static QByteArray buildWriteRequest(bool extended, int byteAddress, const QByteArray &digits);
    // Force request: STX, '7' (on) or '8' (off), the bit address's low byte as two
    // digits then its high byte as two digits, ETX, sum. Empty for an address
    // outside 0..0xFFFF.
    static QByteArray buildForceRequest(bool on, int bitAddress);

    // Bytes still missing from a read answer for N data bytes (STX, 2N digits,
    // ETX, two sum digits). 0 as soon as the answer can be judged: complete, or
    // already malformed (first byte not STX, a non-digit where a data digit
    // should be, or no ETX after the data).
    static int readAnswerMissing(const QByteArray &soFar, int N);
    // Judges a complete read answer for N data bytes: STX (its top bit ignored,
    // as an 8-bit line shows the parity bit there), exactly 2N uppercase hex
    // digits, ETX, and the two uppercase digits of the sum of the data and ETX.
    // 0 with the 2N digit values appended to *digits; -2 for an empty answer;
    // -1 for anything else (nothing appended).
    static int parseReadAnswer(const QByteArray &answer, int N, QByteArray *digits);
    // Write and force answers are one byte: missing 1 until something came.
    static int writeAnswerMissing(const QByteArray &soFar);
    // 0 for exactly ACK; -2 for an empty answer; -1 for anything else (NAK too).
    static int parseWriteAnswer(const QByteArray &answer);
};
