#include "OperationReasons.h"

namespace {

struct CodeText {
    int code;
    const char *text;
};

// MC protocol 3E end codes a PLC or an Ethernet module answers.
const CodeText k3eEndCodes[] = {
    {0xC050, "ASCII data that cannot be converted to binary"},
    {0xC051, "number of points out of range"},
    {0xC052, "number of points out of range"},
    {0xC053, "number of points out of range"},
    {0xC054, "number of points out of range"},
    {0xC056, "device out of range"},
    {0xC058, "request data length does not match"},
    {0xC059, "command or subcommand not supported"},
    {0xC05B, "device cannot be read or written"},
    {0xC05C, "device or unit not valid for the command"},
    {0xC05F, "request cannot be executed on this CPU"},
    {0xC060, "request content not valid"},
    {0xC061, "request data length does not match the number of points"},
};

// MC protocol 1E completion codes.
const CodeText k1eCompletionCodes[] = {
    {0x50, "command not supported"},
    {0x54, "ASCII data that cannot be converted to binary"},
    {0x55, "write while running not allowed"},
    {0x56, "device designation not valid"},
    {0x57, "number of points not valid"},
    {0x58, "device out of range"},
    {0x5B, "the PLC could not carry out the request"},
    {0x60, "the monitoring timer ran out"},
};

// FX computer link (format 1) NAK error codes.
const CodeText kLinkNakCodes[] = {
    {0x02, "sum check error"},
    {0x03, "protocol error"},
    {0x06, "character area error"},
    {0x07, "character error"},
    {0x0A, "PC number error"},
};

template <size_t N>
QString withMeaning(const CodeText (&table)[N], int code, const QString &shown)
{
    for (const CodeText &c : table) {
        if (c.code == code)
            return QStringLiteral("%1 (%2)").arg(shown, QLatin1String(c.text));
    }
    return shown;
}

QString hexCode(int code, int digits)
{
    return QStringLiteral("%1").arg(code, digits, 16, QLatin1Char('0')).toUpper();
}

const char kStx = 0x02, kEtx = 0x03, kAck = 0x06, kNak = 0x15;

QString notAnAnswer(const QByteArray &answer)
{
    return QStringLiteral("answer not understood (first byte %1, %2 bytes): line noise or another device?")
        .arg(hexCode(uchar(answer.at(0)), 2)).arg(answer.size());
}

QString mc3eReason(const QByteArray &a)
{
    if (uchar(a.at(0)) != 0xD0)
        return notAnAnswer(a);
    if (a.size() < 11)
        return QStringLiteral("answer cut short (%1 bytes, at least 11 expected)").arg(a.size());
    const int end = uchar(a.at(9)) | (uchar(a.at(10)) << 8);
    if (end == 0)
        return QString();
    return QStringLiteral("PLC refused the request: end code ") + withMeaning(k3eEndCodes, end, hexCode(end, 4));
}

QString mc1eReason(const QByteArray &a)
{
    if ((uchar(a.at(0)) & 0x80) == 0)
        return notAnAnswer(a);
    if (a.size() < 2)
        return QStringLiteral("answer cut short (1 byte)");
    const int code = uchar(a.at(1));
    if (code == 0)
        return QString();
    QString out = QStringLiteral("PLC refused the request: completion code ")
        + withMeaning(k1eCompletionCodes, code, hexCode(code, 2));
    if (code == 0x5B && a.size() > 2)
        out += QStringLiteral(", abnormal code ") + hexCode(uchar(a.at(2)), 2);
    return out;
}

QString fxPortReason(const QByteArray &a)
{
    const char first = char(uchar(a.at(0)) & 0x7F);
    if (first == kNak)
        return QStringLiteral("PLC refused the request (NAK)");
    if (first != kStx && first != kAck)
        return notAnAnswer(a);
    return QString();
}

QString fxLinkReason(const QByteArray &a)
{
    if (a.at(0) == kNak) {
        if (a.size() < 7)
            return QStringLiteral("PLC refused the request (NAK)");
        bool ok = false;
        const int code = a.mid(5, 2).toInt(&ok, 16);
        const QString shown = QString::fromLatin1(a.mid(5, 2));
        return QStringLiteral("PLC refused the request: NAK error code ")
            + (ok ? withMeaning(kLinkNakCodes, code, shown) : shown);
    }
    if (a.at(0) != kStx && a.at(0) != kAck)
        return notAnAnswer(a);
    if (a.at(0) == kStx && !a.contains(kEtx))
        return QStringLiteral("answer cut short (%1 bytes, no ETX)").arg(a.size());
    return QString();
}

} // namespace

QString statusReason(int status)
{
    switch (status) {
    case 0: return QString();
    case 1: return QStringLiteral("not completed");
    case 2: return QStringLiteral("data type not supported by this plug-in");
    case 3: return QStringLiteral("device area not known to this plug-in");
    case 4: return QStringLiteral("nothing to transfer (count 0, or fewer values than count)");
    case 5: return QStringLiteral("address not valid for this plug-in (device number, bit index or range)");
    case 6: return QStringLiteral("busy: another call of this driver is running, or the call came from another thread");
    case 7: return QStringLiteral("answer rejected (a refusal, a garbled or a cut answer)");
    case 8: return QStringLiteral("no answer from the PLC");
    case 9: return QStringLiteral("not connected (the connection was lost or never made)");
    default: return QStringLiteral("status %1 (not one of the plug-in statuses)").arg(status);
    }
}

QString answerReason(const QString &plugin, const QByteArray &answer)
{
    if (answer.isEmpty())
        return QString();
    if (plugin == QLatin1String("Norvessa"))
        return mc3eReason(answer);
    if (plugin == QLatin1String("Marrowin"))
        return mc1eReason(answer);
    if (plugin == QLatin1String("Kelvaro"))
        return fxPortReason(answer);
    if (plugin == QLatin1String("Lunetta"))
        return fxLinkReason(answer);
    return QString();
}

QString operationReason(int status, const QList<TraceLine> &lines, qint64 elapsedMs)
{
    // A call the link answered at once because the PLC is held back.
    const QString held = QStringLiteral("PLC held back after");
    for (const TraceLine &l : lines) {
        const int at = l.text.indexOf(held);
        if ((status == 8 || status == 9) && at >= 0)
            return l.text.mid(at);
    }
    if (status == 8)
        return QStringLiteral("no answer from the PLC (gave up after %1 ms)").arg(elapsedMs);
    if (status == 7) {
        // The last answer that explains itself decides: a chunked read stops
        // at the first refused piece.
        for (int i = lines.size() - 1; i >= 0; --i) {
            const TraceLine &l = lines.at(i);
            if (l.frame && !l.request) {
                const QString why = answerReason(l.plugin, l.bytes);
                if (!why.isEmpty())
                    return why;
            }
        }
        // The computer link's own verdicts on an answer that is no refusal.
        for (const TraceLine &l : lines) {
            if (l.text.contains(QStringLiteral("报文返回长度错误")))
                return QStringLiteral("answer of the wrong length");
            if (l.text.contains(QStringLiteral("报文校验错误")))
                return QStringLiteral("answer failed the frame check (STX, ETX or sum check)");
        }
    }
    return statusReason(status);
}

namespace {

// Device names of the four plug-ins.
const char *const kWordNames[] = {"D", "R", "W", "Z", "TN", "CN", "SD", "SW"};
const char *const kBitNames[] = {"X", "Y", "M", "S", "B", "F", "L", "V", "SM", "SB",
                                 "DX", "DY", "TS", "TC", "CS", "CC"};

// Length of the longest of `names` the text begins with (any case), 0 for none.
int longestName(const QString &text, const char *const *names, int n)
{
    int best = 0;
    for (int k = 0; k < n; ++k) {
        const QLatin1String name(names[k]);
        if (text.startsWith(name, Qt::CaseInsensitive) && name.size() > best)
            best = name.size();
    }
    return best;
}

int longestWordName(const QString &text)
{
    return longestName(text, kWordNames, int(sizeof kWordNames / sizeof *kWordNames));
}

int longestBitName(const QString &text)
{
    return longestName(text, kBitNames, int(sizeof kBitNames / sizeof *kBitNames));
}

} // namespace

QString fx3uReadHint(const QString &driveName, const QString &address, const QString &par)
{
    if (driveName != QLatin1String("Marrowin") || longestBitName(address) <= longestWordName(address))
        return QString();
    for (const QString &pair : par.split(QLatin1Char(';'))) {
        if (pair.section(QLatin1Char('='), 0, 0).trimmed().compare(QLatin1String("plc"), Qt::CaseInsensitive) == 0)
            return QString();
    }
    return QStringLiteral("FX3U-class interfaces need --par plc=fx3u");
}

QString bitOfWordReason(const QString &address)
{
    // The longest device name the text begins with is the device (DX1F.0 is
    // DX, a bit device; D1.0 is D).
    const int dot = address.indexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QString();
    const QString device = address.left(dot);
    const int word = longestWordName(device);
    if (word == 0 || word < longestBitName(device))
        return QString();
    return QStringLiteral("%1 is a bit of the word %2: a bit of a word device cannot be written on its own, "
                          "write the word %2 instead")
        .arg(address, device);
}

QString textWriteReason(const QString &text, int count)
{
    if (text.size() > count)
        return QStringLiteral("the text has %1 characters, more than the tag's %2 (COUNT)").arg(text.size()).arg(count);
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return QStringLiteral("character \"%1\" (U+%2) is not Latin-1: the PLC keeps one byte a character")
                .arg(QString(c))
                .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    return QString();
}
