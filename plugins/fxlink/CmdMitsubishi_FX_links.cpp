#include "CmdMitsubishi_FX_links.h"
#include "HexDigits.h"

namespace {

// Frame trace and rejection lines. Placeholders: %1 peer address, %2 peer port,
// %3 address text, %4 number of words (points for BW), %5 a frame in hex (the
// answer in the 响应 line, the request in all others).
const char *const kReadTrace = "lib[Lunetta]读命令 %1:%2 Area=%3 len=%4 msg : %5";
const char *const kAnswerTrace = "lib[Lunetta]响应%1:%2 Area=%3 len=%4 msg : %5";
const char *const kEmptyWarning = "lib[Lunetta]返回的报文长度为0 %1:%2 Area=%3 len=%4 msg : %5";
const char *const kLengthWarning = "lib[Lunetta]报文返回长度错误 %1:%2 Area=%3 len=%4 msg : %5";
const char *const kCheckWarning = "lib[Lunetta]报文校验错误 %1:%2 Area=%3 len=%4 msg : %5";
// Writes trace their request with the line below (the write counterpart of
// 读命令) and share the answer trace and the rejection lines of the read. A NAK
// to a write gets a line of its own that names the PLC's error code (%5, two
// hex digits) before the request (%6).
const char *const kWriteTrace = "lib[Lunetta]写命令 %1:%2 Area=%3 len=%4 msg : %5";
const char *const kNakWarning = "lib[Lunetta]写命令被拒绝 %1:%2 Area=%3 len=%4 code=%5 msg : %6";

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
    return LinkProfile::of(QStringLiteral("Lunetta"), LinkProfile::FxSend, true, false,
                           QStringLiteral("bLunetta"));
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
                                                         const QByteArray &wordChars)
{
    if (!validHead(head) || wordChars.isEmpty() || wordChars.size() % 4 != 0)
        return QByteArray();
    const int words = wordChars.size() / 4;
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

QString CmdMitsubishi_FX_links::fillLine(const char *tmpl, const QString &address, int n,
                                         const QByteArray &frame) const
{
    // One multi-argument fill, so that a '%' in an address text is never taken
    // for a placeholder.
    return QString::fromUtf8(tmpl).arg(peerAddressText(), QString::number(peerPort()), address,
                                       QString::number(n), hex(frame));
}

int CmdMitsubishi_FX_links::answerWaitMs(int answerBytes)
{
    const qint64 bytes = qBound(0, answerBytes, 4 * MaxPointsField + 8);
    return 50 + int((bytes * 11 * 1000 + 9599) / 9600);  // 11 bits a character at most
}

int CmdMitsubishi_FX_links::read_cmd(int station, QString deviceNumber, int n, QString address, QByteArray *out)
{
    const QByteArray frame = buildReadRequest(station, headDevice(address, deviceNumber), n);
    if (frame.isEmpty() || !out)
        return 1;
    if (Connection_status() != 0)
        return -3;
    return Message_parsing(frame, out, n, address);
}

int CmdMitsubishi_FX_links::Message_parsing(QByteArray frame, QByteArray *out, int n, QString address)
{
    const auto line = [&](const char *tmpl, const QByteArray &bytes) {
        return fillLine(tmpl, address, n, bytes);
    };
    traceLine(line(kReadTrace, frame));
    QByteArray answer;
    SendData(frame, answer, answerWaitMs(readAnswerLength(n)),
             [n](const QByteArray &soFar) { return readAnswerMissing(soFar, n); });
    traceLine(line(kAnswerTrace, answer));

    QByteArray digits;
    switch (parseReadAnswer(frame, answer, n, &digits)) {
    case AnswerOk:
        if (out)
            out->append(digits);
        return 0;
    case AnswerEmpty:
        warningLine(line(kEmptyWarning, frame));
        return -2;
    case AnswerBadLength:
    case AnswerNak:  // a NAK is shorter than any data answer
        warningLine(line(kLengthWarning, frame));
        return -1;
    case AnswerBadCheck:
        break;
    }
    warningLine(line(kCheckWarning, frame));
    return -1;
}

int CmdMitsubishi_FX_links::write_words(int station, QString deviceNumber, const QByteArray &wordChars,
                                        QString address)
{
    const QByteArray frame = buildWordWriteRequest(station, headDevice(address, deviceNumber), wordChars);
    if (frame.isEmpty())
        return 1;
    if (Connection_status() != 0)
        return -3;
    return Write_parsing(frame, wordChars.size() / 4, address);
}

int CmdMitsubishi_FX_links::write_bits(int station, QString deviceNumber, const QByteArray &pointChars,
                                       QString address)
{
    const QByteArray frame = buildBitWriteRequest(station, headDevice(address, deviceNumber), pointChars);
    if (frame.isEmpty())
        return 1;
    if (Connection_status() != 0)
        return -3;
    return Write_parsing(frame, pointChars.size(), address);
}

int CmdMitsubishi_FX_links::Write_parsing(QByteArray frame, int points, QString address)
{
    const auto line = [&](const char *tmpl, const QByteArray &bytes) {
        return fillLine(tmpl, address, points, bytes);
    };
    traceLine(line(kWriteTrace, frame));
    QByteArray answer;
    SendData(frame, answer, answerWaitMs(NakAnswerLength),
             [](const QByteArray &soFar) { return writeAnswerMissing(soFar); });
    traceLine(line(kAnswerTrace, answer));

    int code = -1;
    switch (parseWriteAnswer(frame, answer, &code)) {
    case AnswerOk:
        return 0;
    case AnswerEmpty:
        warningLine(line(kEmptyWarning, frame));
        return -2;
    case AnswerBadLength:
        warningLine(line(kLengthWarning, frame));
        return -1;
    case AnswerNak:
        warningLine(QString::fromUtf8(kNakWarning)
                        .arg(peerAddressText(), QString::number(peerPort()), address,
                             QString::number(points),
                             QString::fromLatin1(HexDigits::hexByte(static_cast<unsigned>(code))),
                             hex(frame)));
        return -1;
    case AnswerBadCheck:
        break;
    }
    warningLine(line(kCheckWarning, frame));
    return -1;
}
