#include "CmdMitsubishi_FX_serial.h"

#include "FxTiming.h"
#include "HexDigits.h"

namespace {

// Appends ETX and the two sum characters; the sum covers every byte after STX
// up to and including ETX.
void closeFrame(QByteArray *frame)
{
    frame->append(char(CmdMitsubishi_FX_serial::ETX));
    const quint16 sum = CmdMitsubishi_FX_serial::And_Check(*frame, frame->size());
    frame->append(HexDigits::hexByte(sum & 0xFF));
}

bool isExtendedArea(int area)
{
    return ((unsigned(area) >> 24) & 0xFF) == 'E';
}

} // namespace

LinkProfile CmdMitsubishi_FX_serial::kelvaroProfile()
{
    return LinkProfile::of(QStringLiteral("Kelvaro"), true, false);
}

CmdMitsubishi_FX_serial::CmdMitsubishi_FX_serial(QObject *parent)
    : CLinkTransport(kelvaroProfile(), parent)
{
}

quint16 CmdMitsubishi_FX_serial::And_Check(QByteArray frame, int L)
{
    if (L <= 1)
        return 0;
    return HexDigits::byteSum(frame, 1, L);
}

unsigned short CmdMitsubishi_FX_serial::GetHexconversionchar(unsigned short v)
{
    return HexDigits::GetHexconversionchar(v);
}

unsigned short CmdMitsubishi_FX_serial::GetcharconversionHex(unsigned short c)
{
    return HexDigits::GetcharconversionHex(c);
}

QByteArray CmdMitsubishi_FX_serial::buildReadRequest(bool extended, int byteAddress, int N)
{
    if (byteAddress < 0 || byteAddress > 0xFFFF || N < 1 || N > 255)
        return QByteArray();
    QByteArray frame;
    frame.reserve(13);
    frame.append(char(STX));
    frame.append(extended ? "E00" : "0");
    frame.append(HexDigits::hexNumber(unsigned(byteAddress), 4));
    frame.append(HexDigits::hexByte(unsigned(N)));
    closeFrame(&frame);
    return frame;
}

QByteArray CmdMitsubishi_FX_serial::buildWriteRequest(bool extended, int byteAddress, const QByteArray &digits)
{
    if (byteAddress < 0 || byteAddress > 0xFFFF || digits.size() % 2 != 0)
        return QByteArray();
    const int N = digits.size() / 2;
    if (N < 1 || N > 255)
        return QByteArray();
    QByteArray frame;
    frame.reserve(13 + digits.size());
    frame.append(char(STX));
    frame.append(extended ? "E10" : "1");
    frame.append(HexDigits::hexNumber(unsigned(byteAddress), 4));
    frame.append(HexDigits::hexByte(unsigned(N)));
    for (char d : digits) {
        const unsigned char v = static_cast<unsigned char>(d);
        if (v > 15)
            return QByteArray();
        frame.append(char(GetHexconversionchar(v)));
    }
    closeFrame(&frame);
    return frame;
}

QByteArray CmdMitsubishi_FX_serial::buildForceRequest(bool on, int bitAddress)
{
    if (bitAddress < 0 || bitAddress > 0xFFFF)
        return QByteArray();
    QByteArray frame;
    frame.reserve(9);
    frame.append(char(STX));
    frame.append(on ? '7' : '8');
    // The force commands take the bit address low byte first.
    frame.append(HexDigits::hexByte(unsigned(bitAddress) & 0xFF));
    frame.append(HexDigits::hexByte((unsigned(bitAddress) >> 8) & 0xFF));
    closeFrame(&frame);
    return frame;
}

int CmdMitsubishi_FX_serial::readAnswerMissing(const QByteArray &soFar, int N)
{
    // No request asks for more than the count field holds.
    if (N < 0 || N > 255)
        return 0;
    const int expected = 2 * N + 4;
    if (soFar.isEmpty())
        return expected;
    if ((static_cast<unsigned char>(soFar.at(0)) & 0x7F) != STX)
        return 0;
    // Something other than a digit where data should stand (a short answer
    // closed by ETX, a NAK, noise), or no ETX after the data, can never become
    // a sound answer: judge it at once instead of waiting for the time-out.
    const int etxPos = 1 + 2 * N;
    const int dataEnd = qMin(soFar.size(), etxPos);
    for (int i = 1; i < dataEnd; ++i) {
        if (!HexDigits::isUpperHexChar(soFar.at(i)))
            return 0;
    }
    if (soFar.size() > etxPos && soFar.at(etxPos) != ETX)
        return 0;
    return soFar.size() >= expected ? 0 : expected - soFar.size();
}

int CmdMitsubishi_FX_serial::parseReadAnswer(const QByteArray &answer, int N, QByteArray *digits)
{
    if (answer.isEmpty())
        return -2;
    if (N < 0 || N > 255 || answer.size() != 2 * N + 4)
        return -1;
    if ((static_cast<unsigned char>(answer.at(0)) & 0x7F) != STX)
        return -1;
    const int etxPos = 1 + 2 * N;
    for (int i = 1; i < etxPos; ++i) {
        if (!HexDigits::isUpperHexChar(answer.at(i)))
            return -1;
    }
    if (answer.at(etxPos) != ETX)
        return -1;
    const int sent = HexDigits::parseHex(answer, etxPos + 1, 2);
    if (sent < 0)
        return -1;
    if ((HexDigits::byteSum(answer, 1, etxPos + 1) & 0xFF) != sent)
        return -1;
    if (digits) {
        for (int i = 1; i < etxPos; ++i)
            digits->append(char(GetcharconversionHex(static_cast<unsigned char>(answer.at(i)))));
    }
    return 0;
}

int CmdMitsubishi_FX_serial::writeAnswerMissing(const QByteArray &soFar)
{
    return soFar.isEmpty() ? 1 : 0;
}

int CmdMitsubishi_FX_serial::parseWriteAnswer(const QByteArray &answer)
{
    if (answer.isEmpty())
        return -2;
    return (answer.size() == 1 && answer.at(0) == ACK) ? 0 : -1;
}

namespace {

// The top bit of STX may carry the parity bit on an 8-bit line.
const QByteArray kAnswerStarts("\x02\x82\x06\x15", 4);

} // namespace

int CmdMitsubishi_FX_serial::read_cmd(int area, int byteAddress, int N, QString text, QByteArray *out)
{
    const QByteArray request = buildReadRequest(isExtendedArea(area), byteAddress, N);
    if (request.isEmpty() || !out)
        return 1;
    LinkPiece p(LinkPiece::Read, request, text, N);
    p.rule = FxTiming::rule(2 * N + 4, [N](const QByteArray &soFar) { return readAnswerMissing(soFar, N); },
                            kAnswerStarts);
    p.parse = [N](const QByteArray &answer, QByteArray *data) {
        return parseReadAnswer(answer, N, data) == 0 ? AnswerVerdict::data() : AnswerVerdict::malformed();
    };
    return transact(p, out);
}

int CmdMitsubishi_FX_serial::write_cmd(int area, int byteAddress, int N, QString text, QByteArray data)
{
    QByteArray request;
    if (isExtendedArea(area)) {
        if (N < 1 || N > 255 || data.size() != 2 * N)
            return 1;
        request = buildWriteRequest(true, byteAddress, data);
    } else {
        if (data.isEmpty() || (data.at(0) != '7' && data.at(0) != '8'))
            return 1;
        request = buildForceRequest(data.at(0) == '7', byteAddress);
    }
    if (request.isEmpty())
        return 1;
    LinkPiece p(LinkPiece::Write, request, text, N);
    p.rule = FxTiming::rule(1, &writeAnswerMissing, kAnswerStarts);
    p.parse = [](const QByteArray &answer, QByteArray *) {
        if (parseWriteAnswer(answer) == 0)
            return AnswerVerdict::data();
        // A NAK is the PLC's sound answer to this request; anything else is not.
        return answer == QByteArray(1, NAK) ? AnswerVerdict::refused(NAK) : AnswerVerdict::malformed();
    };
    return transact(p, nullptr);
}
