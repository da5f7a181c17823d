#include "NorvessaForms.h"
#include "CmdNorvessa.h"
#include "HexDigits.h"
#include "McFrame.h"

namespace NorvessaForms {

namespace {

// 3E frames begin with a two-byte subheader; the rest follows the 4E head.
constexpr int Subheader3E = 2;

bool has4EHead(const QByteArray &b, quint8 subheader)
{
    return b.size() >= Head4E && quint8(b.at(0)) == subheader && b.at(1) == 0 && b.at(4) == 0 && b.at(5) == 0;
}

} // namespace

QByteArray request4E(const QByteArray &request3E, quint16 serial)
{
    QByteArray f;
    f.reserve(request3E.size() + Head4E - Subheader3E);
    f.append(char(0x54)).append(char(0x00));
    McFrame::appendLe(f, serial, 2);
    f.append(char(0x00)).append(char(0x00));
    f.append(request3E.mid(Subheader3E));
    return f;
}

int answerMissing4E(const QByteArray &soFar)
{
    if ((!soFar.isEmpty() && quint8(soFar.at(0)) != 0xD4) || (soFar.size() > 1 && soFar.at(1) != 0))
        return 0;
    if (soFar.size() < Head4E)
        return AnswerHeader4E - soFar.size();
    // Behind the serial number the 3E answer's header follows, two bytes later.
    return CmdNorvessa::answerMissing(soFar.mid(Head4E - Subheader3E));
}

QByteArray answer3EOf4E(const QByteArray &answer, quint16 serial)
{
    if (!has4EHead(answer, 0xD4) || McFrame::readLe(answer, 2, 2) != serial)
        return QByteArray();
    return QByteArray("\xD0\x00", 2) + answer.mid(Head4E);
}

int foreign4E(const QByteArray &answer, quint16 serial)
{
    if (!has4EHead(answer, 0xD4) || McFrame::readLe(answer, 2, 2) == serial)
        return 0;
    const qint64 length = McFrame::readLe(answer, AnswerHeader4E - 2, 2);
    const qint64 total = AnswerHeader4E + length;
    return length >= 0 && total <= answer.size() ? int(total) : 0;
}

namespace {

// The longest response data of an ASCII answer: end code and 960 words.
constexpr int MaxAsciiResponse = 4 + 4 * CmdNorvessa::MaxWordPoints;

// Appends `digits` upper-case hexadecimal digits of `value`. Requests are
// written straight into one reserved buffer: an ASCII exchange is about as
// cheap to build as a binary one.
void putHex(QByteArray *out, unsigned value, int digits)
{
    static const char hexChars[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out->append(hexChars[(value >> shift) & 0xF]);
}

void putLeField(QByteArray *out, const QByteArray &binary, int offset, int width)
{
    putHex(out, unsigned(McFrame::readLe(binary, offset, width)), 2 * width);
}

// True while what came so far can still be the start of `head` (4 characters).
bool mayStartWith(const QByteArray &soFar, const char *head)
{
    for (int i = 0; i < 4 && i < soFar.size(); ++i)
        if (soFar.at(i) != head[i])
            return false;
    return true;
}

// Little-endian binary of `chars` hexadecimal characters at `pos` (an even
// count, at most 8), appended to *out; false for a character that is none.
bool appendHexLe(const QByteArray &text, int pos, int chars, QByteArray *out)
{
    const int v = HexDigits::parseHex(text, pos, chars);
    if (v < 0)
        return false;
    McFrame::appendLe(*out, quint32(v), chars / 2);
    return true;
}

} // namespace

QByteArray requestAscii(const QByteArray &b, const char *deviceName, int digitsBase)
{
    // 3E binary: subheader, network, PC, I/O (2), station, length (2), timer (2),
    // command (2), subcommand (2), head (3), code, points (2), data.
    if (b.size() < 21)
        return QByteArray();
    const unsigned head = unsigned(McFrame::readLe(b, 15, 3));
    if (digitsBase == 10 && head > 999999)
        return QByteArray();  // six decimal digits at most
    const bool bits = McFrame::readLe(b, 13, 2) == 1;
    const int points = int(McFrame::readLe(b, 19, 2));
    const QByteArray bitPoints = bits ? McFrame::unpackBitNibbles(b.mid(21), points) : QByteArray();
    const int dataChars = bits ? bitPoints.size() : (b.size() - 21) / 2 * 4;
    // Timer, command, subcommand (4 each), device name (2), head (6), points (4).
    const int bodyChars = 24 + dataChars;
    QByteArray out;
    out.reserve(18 + bodyChars);
    QByteArray *p = &out;
    out.append("5000", 4);
    putLeField(p, b, 2, 1);
    putLeField(p, b, 3, 1);
    putLeField(p, b, 4, 2);
    putLeField(p, b, 6, 1);
    putHex(p, unsigned(bodyChars), 4);
    putLeField(p, b, 9, 2);
    putLeField(p, b, 11, 2);
    putLeField(p, b, 13, 2);
    // One-letter names are padded with '*'.
    out.append(deviceName[0] ? deviceName[0] : '*');
    out.append(deviceName[0] && deviceName[1] ? deviceName[1] : '*');
    if (digitsBase == 16) {
        putHex(p, head, 6);
    } else {
        for (unsigned scale = 100000; scale > 0; scale /= 10)
            out.append(char('0' + head / scale % 10));
    }
    putLeField(p, b, 19, 2);
    if (bits) {
        for (char point : bitPoints)
            out.append(point ? '1' : '0');
    } else {
        for (int i = 21; i + 1 < b.size(); i += 2)
            putLeField(p, b, i, 2);
    }
    return out;
}

QByteArray request4EAscii(const QByteArray &requestAscii, quint16 serial)
{
    if (requestAscii.isEmpty())
        return requestAscii;
    return "5400" + HexDigits::hexNumber(serial, 4) + "0000" + requestAscii.mid(4);
}

int answerMissingAscii(const QByteArray &soFar)
{
    if (!mayStartWith(soFar, "D000"))
        return 0;
    if (soFar.size() < AnswerHeaderAscii)
        return AnswerHeaderAscii - soFar.size();
    const int length = HexDigits::parseHex(soFar, AnswerHeaderAscii - 4, 4);
    if (length < 0 || length > MaxAsciiResponse)
        return 0;
    return qMax(0, AnswerHeaderAscii + length - int(soFar.size()));
}

int answerMissing4EAscii(const QByteArray &soFar)
{
    if (!mayStartWith(soFar, "D400"))
        return 0;
    if (soFar.size() < Head4EAscii)
        return Head4EAscii + AnswerHeaderAscii - 4 - soFar.size();
    return answerMissingAscii("D000" + soFar.mid(Head4EAscii));
}

QByteArray answer3EOfAscii(const QByteArray &a)
{
    // "D000", network, PC, I/O (4), station, length (4), end code (4), data.
    if (!a.startsWith("D000") || a.size() < AnswerHeaderAscii + 4
        || HexDigits::parseHex(a, 14, 4) != a.size() - AnswerHeaderAscii)
        return QByteArray();
    QByteArray b("\xD0\x00", 2);
    b.reserve(a.size() / 2 + 2);
    const int dataChars = a.size() - AnswerHeaderAscii - 4;
    const bool error = HexDigits::parseHex(a, AnswerHeaderAscii, 4) != 0;
    // Error information: network, PC, I/O (4), station, command (4), subcommand (4).
    if ((error && dataChars != 18) || (!error && dataChars % 4 != 0))
        return QByteArray();
    bool ok = appendHexLe(a, 4, 2, &b) && appendHexLe(a, 6, 2, &b) && appendHexLe(a, 8, 4, &b)
              && appendHexLe(a, 12, 2, &b);
    McFrame::appendLe(b, quint32(2 + dataChars / 2), 2);
    ok = ok && appendHexLe(a, AnswerHeaderAscii, 4, &b);
    static const int errorFields[] = {2, 2, 4, 2, 4, 4};
    int at = AnswerHeaderAscii + 4;
    if (error) {
        for (int chars : errorFields) {
            ok = ok && appendHexLe(a, at, chars, &b);
            at += chars;
        }
    }
    for (; ok && at < a.size(); at += 4)
        ok = appendHexLe(a, at, 4, &b);
    return ok ? b : QByteArray();
}

QByteArray answer3EOf4EAscii(const QByteArray &answer, quint16 serial)
{
    if (!answer.startsWith("D400") || HexDigits::parseHex(answer, 4, 4) != serial || answer.mid(8, 4) != "0000")
        return QByteArray();
    return answer3EOfAscii("D000" + answer.mid(Head4EAscii));
}

int foreign4EAscii(const QByteArray &answer, quint16 serial)
{
    const int tag = HexDigits::parseHex(answer, 4, 4);
    if (!answer.startsWith("D400") || tag < 0 || tag == serial || answer.mid(8, 4) != "0000")
        return 0;
    const int length = HexDigits::parseHex(answer, Head4EAscii + AnswerHeaderAscii - 8, 4);
    const int total = Head4EAscii + AnswerHeaderAscii - 4 + length;
    return length >= 0 && total <= answer.size() ? total : 0;
}

} // namespace NorvessaForms
