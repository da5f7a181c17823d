#include "LibMitsubishi_FX_links.h"
#include "DeviceNames.h"
#include "HexDigits.h"
#include "LabelStatus.h"

#include <algorithm>


namespace {

const DriverIdentity kIdentity = {
    "Kelvaro",          // hosts look this plug-in up under this name
    "V1.2.2 20230221",
    "v1.2.1 %1 %2",
    "Dec 18 2023",
    "11:20:23",
};

// One row per device. Timer and counter contacts are read only; the current
// values of C200..C255 are 32-bit (eight digits a point, the most significant
// first).
const FxLinkArea kAreas[] = {
    {"X", 8, 07777, true, false},
    {"Y", 8, 07777, true, false},
    {"M", 10, 9999, true, false},
    {"S", 10, 9999, true, false},
    {"D", 10, 9999, false, false},
    {"TS", 10, 255, true, true},
    {"CS", 10, 255, true, true},
    {"TN", 10, 255, false, false},
    {"CN", 10, 255, false, false},
};

const FxLinkArea *areaNamed(const QString &text)
{
    return longestNamedRow(kAreas, int(sizeof(kAreas) / sizeof(kAreas[0])), text);
}

// A one-letter device's row; unknown letters count as four decimal digits.
const FxLinkArea &oneLetterArea(char letter)
{
    static const FxLinkArea other = {"?", 10, 9999, false, false};
    const FxLinkArea *a = areaNamed(QString(QLatin1Char(letter)));
    return a && qstrlen(a->name) == 1 ? *a : other;
}

// Words in WR/WW, points in BW, with the limits of FX2N/FX3U-class PLCs.
TransferRules lunettaRules()
{
    TransferRules r;
    r.unitBytes = 2;
    r.readWords = CmdMitsubishi_FX_links::MaxReadWords;
    r.bitDeviceReadDivisor = CmdMitsubishi_FX_links::MaxReadWords / CmdMitsubishi_FX_links::MaxReadWordsBitDevice;
    r.writeUnits = CmdMitsubishi_FX_links::MaxWriteWords;
    r.writeUnitsBitDevice = CmdMitsubishi_FX_links::MaxWriteWordsBitDevice;
    r.writePoints = CmdMitsubishi_FX_links::MaxWritePoints;
    r.typeBeforeCount = true;
    return r;
}

constexpr int FirstCounter32 = 200;

} // namespace

LibMitsubishi_FX_links::LibMitsubishi_FX_links(QObject *parent)
    : CTransferDriver(kIdentity, m_link, lunettaRules(), WireRepresentation::HexWord, ProfileKeys(), parent)
{
}

const DriverIdentity &LibMitsubishi_FX_links::identity()
{
    return kIdentity;
}

void LibMitsubishi_FX_links::SetConnectPar(QString par)
{
    // "1" or "1;hold-back=off": the station number is the field that is no
    // "key=value" pair (0 when it is not a decimal number, or missing).
    QString pairs;
    bool ok = false;
    const int station = splitProfileText(par, &pairs).toInt(&ok, 10);
    m_station = ok ? station : 0;
    applyProfileKeys(pairs);
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
    return dev.status == StatusUnknownArea ? 0 : dev.letter;
}

FxLinkDevice LibMitsubishi_FX_links::parseAddress(const QString &address)
{
    FxLinkDevice dev;
    dev.area = areaNamed(address);
    if (!dev.area) {
        dev.status = StatusUnknownArea;
        return dev;
    }
    dev.letter = dev.area->name[0];
    // The frame has five characters for the device: a longer number would be
    // cut to another device, so it is refused rather than shortened.
    // A bare name has no device number at all: a host's cut-off address
    // must not quietly become device 0 (a write would land on D0).
    const int nameLength = int(qstrlen(dev.area->name));
    // A word device may name one of its bits after a dot (D200.3): one or two
    // decimal digits, 0 to 15. Bit devices take no dot.
    int end = address.size();
    int dot = -1;
    const int index = bitIndexAfterDot(address, &dot);
    if (dot >= 0) {
        if (dev.area->bitDevice || index < 0) {
            dev.status = StatusBadDevice;
            return dev;
        }
        dev.bitIndex = index;
        end = dot;
    }
    const int len = end - nameLength;
    if (len <= 0 || len > 5 - nameLength) {
        dev.status = StatusBadDevice;
        return dev;
    }
    const int base = dev.area->base;
    int number = 0;
    for (int i = nameLength; i < end; ++i) {
        const ushort d = address.at(i).unicode();
        if (d < '0' || d > '9' || int(d - '0') >= base) {
            dev.status = StatusBadDevice;
            return dev;
        }
        number = number * base + int(d - '0');
    }
    if (number > dev.area->maxNumber) {
        dev.status = StatusBadDevice;
        return dev;
    }
    dev.number = number;
    return dev;
}

int LibMitsubishi_FX_links::maxDeviceNumber(char letter)
{
    return oneLetterArea(letter).maxNumber;
}

QString LibMitsubishi_FX_links::deviceNumberText(char letter, int number)
{
    return deviceNumberText(oneLetterArea(letter), number);
}

QString LibMitsubishi_FX_links::deviceNumberText(const FxLinkArea &area, int number)
{
    if (number < 0 || number > area.maxNumber)
        return QString();
    return QString::number(number, area.base).rightJustified(5 - int(qstrlen(area.name)), QLatin1Char('0'));
}

qint64 LibMitsubishi_FX_links::wordsFor(int type, qint64 count)
{
    if (type == DT_Bool)
        return count <= 0 ? 0 : (count + 15) / 16;
    return CValueCodec::byteLength(type, count) / 2;
}

TransferTarget LibMitsubishi_FX_links::parseTarget(const QString &text)
{
    TransferTarget t;
    const FxLinkDevice dev = parseAddress(text);
    t.status = dev.status;
    t.readOnly = dev.area && dev.area->readOnly;
    t.bitDevice = dev.bitDevice();
    if (dev.status != 0)
        return t;
    // Bit devices go in word units of 16 points each; the first word starts at
    // the addressed device itself.
    qint64 devicesToEnd = dev.area->maxNumber - dev.number + 1;
    // C0-C199 and the 32-bit C200-C255 never share a request.
    const bool counter = QLatin1String(dev.area->name) == QLatin1String("CN");
    if (counter && dev.number < FirstCounter32)
        devicesToEnd = FirstCounter32 - dev.number;
    t.area = int(dev.area - kAreas);
    t.head = dev.number;
    // D200.3: bools from bit 3 of D200 on (read only).
    t.bitNamed = dev.bitIndex >= 0;
    t.bitOffset = qMax(dev.bitIndex, 0);
    t.step = dev.bitDevice() ? 16 : 1;
    t.unitsToEnd = devicesToEnd / t.step;
    t.firstPoint = dev.number;
    t.pointsToEnd = devicesToEnd;
    if (counter && dev.number >= FirstCounter32) {
        t.valueBytes = 4;  // two words a counter
        t.unitsToEnd = 2 * devicesToEnd;
    }
    return t;
}

// The link's 8 digits of a 32-bit counter are high word first, the codec's
// two words low word first: the halves of every value change places.
static void swapCounterHalves(char *digits, int count)
{
    for (int i = 0; i + 8 <= count; i += 8)
        std::swap_ranges(digits + i, digits + i + 4, digits + i + 4);
}

int LibMitsubishi_FX_links::readPiece(const TransferTarget &target, int address, int units,
                                      const QString &text, QByteArray *wire)
{
    if (target.valueBytes != 4)
        return m_link.read_cmd(m_station, deviceNumberText(kAreas[target.area], address), units, text, wire);
    const int before = wire->size();
    const int counter = target.head + (address - target.head) / 2;
    const int rc = m_link.read_cmd(m_station, deviceNumberText(kAreas[target.area], counter), units, text, wire,
                                   units / 2);
    if (rc == 0)
        swapCounterHalves(wire->data() + before, wire->size() - before);
    return rc;
}

int LibMitsubishi_FX_links::writePiece(const TransferTarget &target, bool bitUnits, int address,
                                       int units, const QString &text, const QByteArray &wire)
{
    Q_UNUSED(units);
    // Consecutive points and words: X7 is followed by X10.
    const QString head = deviceNumberText(kAreas[target.area], address);
    QByteArray chars = wire;
    if (bitUnits) {
        for (char &b : chars)
            b = b ? '1' : '0';
        return m_link.write_bits(m_station, head, chars, text);
    }
    for (char &d : chars)
        d = static_cast<char>(CmdMitsubishi_FX_links::GetHexconversionchar(static_cast<unsigned char>(d)));
    if (target.valueBytes == 4) {
        swapCounterHalves(chars.data(), chars.size());
        const int counter = target.head + (address - target.head) / 2;
        return m_link.write_words(m_station, deviceNumberText(kAreas[target.area], counter), chars, text,
                                  chars.size() / 8);
    }
    return m_link.write_words(m_station, head, chars, text);
}

CLabelVariable LibMitsubishi_FX_links::Read_data(QString deviceNumber, DataType type, int count, QString address)
{
    // The head device is the letter of the address text with the device-number
    // text getAddr made of it.
    return transferRead(parseTarget(address.left(1) + deviceNumber), address, type, count);
}
