#include "CmdMitsubishi_FX_links.h"
#include "FxTiming.h"
#include "HexDigits.h"

namespace {

// Frame trace and rejection lines. Placeholders: %1 peer address, %2 peer port,
// %3 address text, %4 number of words (points for BW), %5 the request in hex
// (the answer in the 响应 line), %6 the PLC's error code (two hex digits).
LinkTexts lunettaTexts()
{
    LinkTexts t;
    t.readRequest = QString::fromUtf8("lib[Lunetta]读命令 %1:%2 Area=%3 len=%4 msg : %5");
    t.writeRequest = QString::fromUtf8("lib[Lunetta]写命令 %1:%2 Area=%3 len=%4 msg : %5");
    t.answer = QString::fromUtf8("lib[Lunetta]响应%1:%2 Area=%3 len=%4 msg : %5");
    t.writeTracedAfterExchange = false;
    t.noAnswer = QString::fromUtf8("lib[Lunetta]返回的报文长度为0 %1:%2 Area=%3 len=%4 msg : %5");
    t.badLength = QString::fromUtf8("lib[Lunetta]报文返回长度错误 %1:%2 Area=%3 len=%4 msg : %5");
    t.badCheck = QString::fromUtf8("lib[Lunetta]报文校验错误 %1:%2 Area=%3 len=%4 msg : %5");
    t.refusedWrite = QString::fromUtf8("lib[Lunetta]写命令被拒绝 %1:%2 Area=%3 len=%4 code=%6 msg : %5");
    return t;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Letter and four digits (X and Y count in octal), or two letters and three digits.
bool validHead(const QByteArray &head)
{
    if (head.size() != 5)
        return false;
    const char letter = head.at(0);
    if (letter < 'A' || letter > 'Z')
        return false;
    // One letter and four digits (D0100), or two letters and three (TN005).
    const int digitsFrom = (head.at(1) >= 'A' && head.at(1) <= 'Z') ? 2 : 1;
    const bool octal = digitsFrom == 1 && (letter == 'X' || letter == 'Y');
    for (int i = digitsFrom; i < 5; ++i) {
        const char c = head.at(i);
        if (!isDigit(c) || (octal && c > '7'))
            return false;
    }
    return true;
}

// Station and PC number of an answer must be those the request carried: an
// answer from another station on a multi-drop line is not ours.
bool sameRoute(const QByteArray &request, const QByteArray &answer)
{
    if (request.size() < 5 || answer.size() < 5)
        return false;
    return request.mid(1, 4) == answer.mid(1, 4);
}

} // namespace

CmdMitsubishi_FX_links::CmdMitsubishi_FX_links(QObject *parent)
    : CLinkTransport(linkProfile(), parent)
{
}

LinkProfile CmdMitsubishi_FX_links::linkProfile()
{
    // Hosts match on the lost-connection line as it always was, "b" included.
    LinkProfile p = LinkProfile::of(QStringLiteral("Lunetta"), true, false, QStringLiteral("bLunetta"));
    const QString lost = p.texts.lost;
    p.texts = lunettaTexts();
    p.texts.lost = lost;
    return p;
}

unsigned short CmdMitsubishi_FX_links::GetHexconversionchar(unsigned short v)
{
    return HexDigits::GetHexconversionchar(v);
}

unsigned short CmdMitsubishi_FX_links::GetcharconversionHex(unsigned short c)
{
    return HexDigits::GetcharconversionHex(c);
}

quint16 CmdMitsubishi_FX_links::And_Check(const QByteArray &frame, unsigned char count)
{
    if (count < 2)
        return 0;
    return HexDigits::byteSum(frame, 1, count);
}

QByteArray CmdMitsubishi_FX_links::stationText(int station)
{
    return HexDigits::hexByte(static_cast<unsigned>(station) & 0xFFu);
}

QByteArray CmdMitsubishi_FX_links::buildRequest(int station, const QByteArray &command, const QByteArray &area)
{
    if (command.size() != 2)
        return QByteArray();
    QByteArray frame;
    frame.reserve(10 + area.size());
    frame.append(ENQ);
    frame.append(stationText(station));
    frame.append("FF");
    frame.append(command);
    frame.append('0');  // message wait: answer at once
    frame.append(area);
    // Summed over the whole frame length: write frames are longer than the
    // 8-bit count And_Check takes.
    frame.append(HexDigits::hexByte(HexDigits::byteSum(frame, 1, frame.size())));
    return frame;
}

QByteArray CmdMitsubishi_FX_links::buildReadRequest(int station, const QByteArray &head, int words)
{
    if (!validHead(head) || words < 1 || words > MaxPointsField)
        return QByteArray();
    return buildRequest(station, "WR", head + HexDigits::hexByte(static_cast<unsigned>(words)));
}

QByteArray CmdMitsubishi_FX_links::buildWordWriteRequest(int station, const QByteArray &head,
                                                         const QByteArray &wordChars, int points)
{
    if (!validHead(head) || wordChars.isEmpty() || wordChars.size() % 4 != 0 || points < 0)
        return QByteArray();
    const int words = points > 0 ? points : wordChars.size() / 4;
    if (words > MaxPointsField)
        return QByteArray();
    for (char c : wordChars)
        if (!HexDigits::isUpperHexChar(c))
            return QByteArray();
    return buildRequest(station, "WW",
                        head + HexDigits::hexByte(static_cast<unsigned>(words)) + wordChars);
}

QByteArray CmdMitsubishi_FX_links::buildBitWriteRequest(int station, const QByteArray &head,
                                                        const QByteArray &pointChars)
{
    if (!validHead(head) || pointChars.isEmpty() || pointChars.size() > MaxPointsField)
        return QByteArray();
    for (char c : pointChars)
        if (c != '0' && c != '1')
            return QByteArray();
    return buildRequest(station, "BW",
                        head + HexDigits::hexByte(static_cast<unsigned>(pointChars.size())) + pointChars);
}

int CmdMitsubishi_FX_links::readAnswerLength(int words)
{
    if (words < 0 || words > MaxPointsField)
        return 0;
    return 4 * words + 8;
}

int CmdMitsubishi_FX_links::readAnswerMissing(const QByteArray &soFar, int words)
{
    const int expected = readAnswerLength(words);
    if (soFar.isEmpty())
        return expected > 0 ? expected : 1;
    if (soFar.at(0) == STX)
        return qMax(0, expected - soFar.size());
    if (soFar.at(0) == NAK)
        return qMax(0, NakAnswerLength - soFar.size());
    return 0;  // no answer of ours starts like this: judge it now
}

int CmdMitsubishi_FX_links::writeAnswerMissing(const QByteArray &soFar)
{
    if (soFar.isEmpty())
        return AckAnswerLength;
    if (soFar.at(0) == ACK)
        return qMax(0, AckAnswerLength - soFar.size());
    if (soFar.at(0) == NAK)
        return qMax(0, NakAnswerLength - soFar.size());
    return 0;
}

CmdMitsubishi_FX_links::AnswerVerdict
CmdMitsubishi_FX_links::parseReadAnswer(const QByteArray &request, const QByteArray &answer,
                                        int words, QByteArray *digits, int *nakCode)
{
    if (nakCode)
        *nakCode = -1;
    if (answer.isEmpty())
        return AnswerEmpty;
    const int expected = readAnswerLength(words);
    if (words < 1 || answer.size() != expected) {
        if (answer.size() == NakAnswerLength && answer.at(0) == NAK) {
            if (!sameRoute(request, answer))
                return AnswerBadCheck;
            if (nakCode)
                *nakCode = HexDigits::parseHex(answer, 5, 2);
            return AnswerNak;
        }
        return AnswerBadLength;
    }
    const int etx = 4 * words + 5;
    if (answer.at(0) != STX || answer.at(etx) != ETX)
        return AnswerBadCheck;
    if (!sameRoute(request, answer))
        return AnswerBadCheck;
    const int sum = HexDigits::parseHex(answer, etx + 1, 2);
    if (sum < 0 || sum != (HexDigits::byteSum(answer, 1, etx + 1) & 0xFF))
        return AnswerBadCheck;
    for (int i = 5; i < etx; ++i)
        if (!HexDigits::isUpperHexChar(answer.at(i)))
            return AnswerBadCheck;
    if (digits) {
        for (int i = 5; i < etx; ++i)
            digits->append(static_cast<char>(GetcharconversionHex(static_cast<unsigned char>(answer.at(i)))));
    }
    return AnswerOk;
}

CmdMitsubishi_FX_links::AnswerVerdict
CmdMitsubishi_FX_links::parseWriteAnswer(const QByteArray &request, const QByteArray &answer, int *nakCode)
{
    if (nakCode)
        *nakCode = -1;
    if (answer.isEmpty())
        return AnswerEmpty;
    if (answer.at(0) == ACK) {
        if (answer.size() != AckAnswerLength)
            return AnswerBadLength;
        return sameRoute(request, answer) ? AnswerOk : AnswerBadCheck;
    }
    if (answer.at(0) == NAK) {
        if (answer.size() != NakAnswerLength)
            return AnswerBadLength;
        if (!sameRoute(request, answer))
            return AnswerBadCheck;
        const int code = HexDigits::parseHex(answer, 5, 2);
        if (code < 0)
            return AnswerBadCheck;
        if (nakCode)
            *nakCode = code;
        return AnswerNak;
    }
    return AnswerBadCheck;
}

QByteArray CmdMitsubishi_FX_links::headDevice(const QString &address, const QString &deviceNumber)
{
    if (address.isEmpty())
        return QByteArray();
    // The device name is the address text's first character, and its second
    // when that is a letter too (D, TN); the PLC knows it in upper case only.
    QByteArray name;
    for (int i = 0; i < qMin(2, address.size()); ++i) {
        const ushort c = address.at(i).toUpper().unicode();
        if (i > 0 && (c < 'A' || c > 'Z'))
            break;
        if (c > 0x7F)
            return QByteArray();
        name.append(static_cast<char>(c));
    }
    return name + deviceNumber.toLatin1();
}

namespace {

// A turnaround glitch or a converter's power-up byte may precede the answer.
const QByteArray kAnswerStarts("\x02\x06\x15", 3);

} // namespace

namespace {

// What the link makes of a verdict: the PLC's NAK keeps the link clean; to a
// read it is shorter than any data answer and is reported as a length error.
AnswerVerdict linkVerdict(CmdMitsubishi_FX_links::AnswerVerdict verdict, int code, bool write)
{
    using Cmd = CmdMitsubishi_FX_links;
    switch (verdict) {
    case Cmd::AnswerOk:
        return ::AnswerVerdict::data();
    case Cmd::AnswerNak:
        return ::AnswerVerdict::refused(code, write ? ::AnswerVerdict::RefusalNote : ::AnswerVerdict::LengthNote);
    case Cmd::AnswerBadLength:
        return ::AnswerVerdict::malformed(::AnswerVerdict::LengthNote);
    case Cmd::AnswerEmpty:
    case Cmd::AnswerBadCheck:
        break;
    }
    return ::AnswerVerdict::malformed(::AnswerVerdict::CheckNote);
}

} // namespace

int CmdMitsubishi_FX_links::read_cmd(int station, QString deviceNumber, int n, QString address, QByteArray *out,
                                     int points)
{
    const QByteArray frame = buildReadRequest(station, headDevice(address, deviceNumber), points > 0 ? points : n);
    if (frame.isEmpty() || !out)
        return 1;
    LinkPiece p(LinkPiece::Read, frame, address, n);
    p.rule = FxTiming::rule(readAnswerLength(n), [n](const QByteArray &soFar) { return readAnswerMissing(soFar, n); },
                            kAnswerStarts);
    p.parse = [frame, n](const QByteArray &answer, QByteArray *data) {
        int code = -1;
        const AnswerVerdict verdict = parseReadAnswer(frame, answer, n, data, &code);
        return linkVerdict(verdict, code, false);
    };
    return transact(p, out);
}

int CmdMitsubishi_FX_links::write_words(int station, QString deviceNumber, const QByteArray &wordChars,
                                        QString address, int points)
{
    return write(buildWordWriteRequest(station, headDevice(address, deviceNumber), wordChars, points),
                 wordChars.size() / 4, address);
}

int CmdMitsubishi_FX_links::write_bits(int station, QString deviceNumber, const QByteArray &pointChars,
                                       QString address)
{
    return write(buildBitWriteRequest(station, headDevice(address, deviceNumber), pointChars),
                 pointChars.size(), address);
}

int CmdMitsubishi_FX_links::write(const QByteArray &frame, int points, const QString &address)
{
    if (frame.isEmpty())
        return 1;
    LinkPiece p(LinkPiece::Write, frame, address, points);
    p.rule = FxTiming::rule(NakAnswerLength, &writeAnswerMissing, kAnswerStarts);
    p.parse = [frame](const QByteArray &answer, QByteArray *) {
        int code = -1;
        const AnswerVerdict verdict = parseWriteAnswer(frame, answer, &code);
        return linkVerdict(verdict, code, true);
    };
    return transact(p, nullptr);
}
