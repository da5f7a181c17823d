#include "LibMitsubishi_FX_links.h"
#include "HexDigits.h"
#include "LocalClock.h"

#include <QDateTime>

namespace {

const DriverIdentity kIdentity = {
    "Kelvaro",          // hosts look this plug-in up under this name
    "V1.2.2 20230221",
    "v1.2.1 %1 %2",
    "Dec 18 2023",
    "11:20:23",
};

// Label status of a frame result. 1 is an exchange the frame code would not
// build (nothing sent), which only a device number out of range can cause.
int statusFor(int linkResult)
{
    if (linkResult == 1)
        return 5;
    return CDriverShell::statusForLinkResult(linkResult, 1);
}

} // namespace

LibMitsubishi_FX_links::LibMitsubishi_FX_links(QObject *parent)
    : CDriverShell(kIdentity, m_link, parent)
{
}

const DriverIdentity &LibMitsubishi_FX_links::identity()
{
    return kIdentity;
}

void LibMitsubishi_FX_links::SetConnectPar(QString par)
{
    bool ok = false;
    const int station = par.toInt(&ok, 10);
    m_station = ok ? station : 0;
}

QString LibMitsubishi_FX_links::getAddr(QString address)
{
    QString number = address.mid(1);
    while (number.size() < 4)
        number.prepend(QLatin1Char('0'));
    return number;
}

int LibMitsubishi_FX_links::getArea(QString address)
{
    const FxLinkDevice dev = parseAddress(address);
    return dev.status == 3 ? 0 : dev.letter;
}

FxLinkDevice LibMitsubishi_FX_links::parseAddress(const QString &address)
{
    FxLinkDevice dev;
    if (address.isEmpty()) {
        dev.status = 3;
        return dev;
    }
    const ushort c = address.at(0).unicode();
    switch (c) {
    case 'X': case 'x': dev.letter = 'X'; break;
    case 'Y': case 'y': dev.letter = 'Y'; break;
    case 'M': case 'm': dev.letter = 'M'; break;
    case 'S': case 's': dev.letter = 'S'; break;
    case 'D': case 'd': dev.letter = 'D'; break;
    default:
        dev.status = 3;
        return dev;
    }
    // The frame has four digits for the device number: a longer text would be
    // cut to another device, so it is refused rather than shortened.
    // A bare letter has no device number at all: a host's cut-off address
    // must not quietly become device 0 (a write would land on D0).
    const int len = address.size() - 1;
    if (len == 0 || len > 4) {
        dev.status = 5;
        return dev;
    }
    const int base = dev.octal() ? 8 : 10;
    int number = 0;
    for (int i = 1; i <= len; ++i) {
        const ushort d = address.at(i).unicode();
        if (d < '0' || d > '9' || int(d - '0') >= base) {
            dev.status = 5;
            return dev;
        }
        number = number * base + int(d - '0');
    }
    dev.number = number;
    return dev;
}

int LibMitsubishi_FX_links::maxDeviceNumber(char letter)
{
    return (letter == 'X' || letter == 'Y') ? 07777 : 9999;
}

QString LibMitsubishi_FX_links::deviceNumberText(char letter, int number)
{
    if (number < 0 || number > maxDeviceNumber(letter))
        return QString();
    const int base = (letter == 'X' || letter == 'Y') ? 8 : 10;
    return QString::number(number, base).rightJustified(4, QLatin1Char('0'));
}

qint64 LibMitsubishi_FX_links::wordsFor(int type, qint64 count)
{
    if (count <= 0)
        return 0;
    switch (type) {
    case DT_Bool:
        return (count + 15) / 16;
    case DT_Int8:
    case DT_UInt8:
        return count / 2;
    case DT_Int16:
    case DT_UInt16:
        return count;
    case DT_Int32:
    case DT_UInt32:
    case DT_Float:
        return 2 * count;
    case DT_Int64:
    case DT_UInt64:
    case DT_Double:
        return 4 * count;
    default:
        return 0;
    }
}

namespace {

// Checks that `words` words from `dev` stay within the device field and within
// the transfer bound; 0 or the label status of the refusal.
int checkWordRange(const FxLinkDevice &dev, qint64 words)
{
    if (words <= 0)
        return 4;
    if (words * 2 > CDriverShell::MaxTransferBytes)
        return 5;
    const qint64 points = dev.bitDevice() ? words * 16 : words;
    if (dev.number + points - 1 > LibMitsubishi_FX_links::maxDeviceNumber(dev.letter))
        return 5;
    return 0;
}

} // namespace

CLabelVariable LibMitsubishi_FX_links::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable result;
    result.status = 1;
    result.accessStatus = 1;
    result.value = QVariant();
    result.timestamp = LocalClock::now();

    if (address.isEmpty()) {
        result.status = 3;
    } else if (!CValueCodec::hasDecoder(type)) {
        // DT_None and the codes beyond DT_Double: nothing to ask the PLC for.
        result.status = 2;
    } else if (const int refused = parseAddress(address).status) {
        // Judged on the text as the host wrote it: getAddr's zero padding would
        // turn a bare letter into device 0.
        result.status = refused;
    } else {
        takeOutcome(result, Read_data(getAddr(address), type, count, address));
    }
    stampRequest(result, address, type, count);
    return result;
}

CLabelVariable LibMitsubishi_FX_links::Read_data(QString deviceNumber, DataType type, int count, QString address)
{
    CLabelVariable result;
    result.status = 1;
    result.accessStatus = 1;
    result.value = QVariant();
    result.timestamp = QDateTime();

    const auto refuse = [&result](int status) {
        result.status = status;
        result.timestamp = LocalClock::now();
        return result;
    };

    if (!CValueCodec::hasDecoder(type))
        return refuse(2);
    // The head device is the letter of the address text with the device-number
    // text getAddr made of it.
    const FxLinkDevice dev = parseAddress(address.left(1) + deviceNumber);
    if (dev.status != 0)
        return refuse(dev.status);
    if (count <= 0)
        return refuse(4);
    const qint64 words = wordsFor(type, count);
    if (const int refusal = checkWordRange(dev, words))
        return refuse(refusal);

    // Bit devices go in word units of 16 points each, with a lower limit per WR.
    const int perRequest = dev.bitDevice() ? CmdMitsubishi_FX_links::MaxReadWordsBitDevice
                                           : CmdMitsubishi_FX_links::MaxReadWords;
    const int pointsPerWord = dev.bitDevice() ? 16 : 1;
    QByteArray digits;
    digits.reserve(int(words) * 4);
    const int r = forEachChunk(int(words), perRequest, [&](int offset, int length) {
        const QString head = deviceNumberText(dev.letter, dev.number + offset * pointsPerWord);
        return m_link.read_cmd(m_station, head, length, address, &digits);
    });
    if (r != 0) {
        result.status = statusFor(r);
        return result;
    }

    result.timestamp = LocalClock::now();
    result.status = 0;
    if (type == DT_Bool) {
        // The first word starts at the addressed device itself.
        result.value = m_codec.set_variant_bool(0, digits, count);
    } else {
        const int elements = (type == DT_Int8 || type == DT_UInt8) ? int(words) * 2 : count;
        result.value = m_codec.decode(type, digits, elements);
    }
    return result;
}

CLabelVariable LibMitsubishi_FX_links::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    CLabelVariable result = value;
    stampRequest(result, address, type, count);
    const auto finish = [&result](int status, bool stamp) {
        result.status = status;
        result.timestamp = stamp ? LocalClock::now() : QDateTime();
        return result;
    };

    if (address.isEmpty())
        return finish(3, true);
    if (!CValueCodec::hasDecoder(type))
        return finish(2, true);
    const FxLinkDevice dev = parseAddress(address);
    if (dev.status != 0)
        return finish(dev.status, true);
    if (count <= 0)
        return finish(4, true);

    int r = 0;
    if (type == DT_Bool) {
        // BW sets bit devices only; a data register has no bit write.
        if (!dev.bitDevice())
            return finish(2, true);
        if (dev.number + qint64(count) - 1 > maxDeviceNumber(dev.letter)
            || qint64(count) > qint64(MaxTransferBytes) * 8)
            return finish(5, true);
        QByteArray bits;
        const int enc = m_codec.Wset_variant_bool(value, count, &bits);
        if (enc != EncodeOk)
            return finish(enc, true);
        for (char &b : bits)
            b = b ? '1' : '0';
        r = writeBits(dev, bits, address);
    } else {
        // Whole words only: an odd number of 8-bit elements would leave half a
        // word that cannot be written without clobbering its other byte.
        if ((type == DT_Int8 || type == DT_UInt8) && count % 2 != 0)
            return finish(4, true);
        const qint64 words = wordsFor(type, count);
        if (const int refusal = checkWordRange(dev, words))
            return finish(refusal, true);
        QByteArray digits;
        const int enc = m_codec.encode(type, value, count, &digits);
        if (enc != EncodeOk)
            return finish(enc, true);
        if (digits.size() != words * 4)
            return finish(4, true);
        for (char &d : digits)
            d = static_cast<char>(CmdMitsubishi_FX_links::GetHexconversionchar(static_cast<unsigned char>(d)));
        r = writeWords(dev, digits, address);
    }
    if (r == 0)
        return finish(0, true);
    return finish(statusFor(r), false);
}

int LibMitsubishi_FX_links::writeBits(const FxLinkDevice &dev, const QByteArray &points, const QString &address)
{
    return forEachChunk(points.size(), CmdMitsubishi_FX_links::MaxWritePoints, [&](int offset, int length) {
        // Consecutive points: X7 is followed by X10.
        const QString head = deviceNumberText(dev.letter, dev.number + offset);
        return m_link.write_bits(m_station, head, points.mid(offset, length), address);
    });
}

int LibMitsubishi_FX_links::writeWords(const FxLinkDevice &dev, const QByteArray &wordChars, const QString &address)
{
    const int words = wordChars.size() / 4;
    const int perRequest = dev.bitDevice() ? CmdMitsubishi_FX_links::MaxWriteWordsBitDevice
                                           : CmdMitsubishi_FX_links::MaxWriteWords;
    const int pointsPerWord = dev.bitDevice() ? 16 : 1;
    return forEachChunk(words, perRequest, [&](int offset, int length) {
        const QString head = deviceNumberText(dev.letter, dev.number + offset * pointsPerWord);
        return m_link.write_words(m_station, head, wordChars.mid(offset * 4, length * 4), address);
    });
}
