#include "LibMitsubishi_FX_links.h"
#include "HexDigits.h"
#include "LabelStatus.h"


namespace {

const DriverIdentity kIdentity = {
    "Kelvaro",          // hosts look this plug-in up under this name
    "V1.2.2 20230221",
    "v1.2.1 %1 %2",
    "Dec 18 2023",
    "11:20:23",
};

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
    return dev.status == StatusUnknownArea ? 0 : dev.letter;
}

FxLinkDevice LibMitsubishi_FX_links::parseAddress(const QString &address)
{
    FxLinkDevice dev;
    if (address.isEmpty()) {
        dev.status = StatusUnknownArea;
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
        dev.status = StatusUnknownArea;
        return dev;
    }
    // The frame has four digits for the device number: a longer text would be
    // cut to another device, so it is refused rather than shortened.
    // A bare letter has no device number at all: a host's cut-off address
    // must not quietly become device 0 (a write would land on D0).
    const int len = address.size() - 1;
    if (len == 0 || len > 4) {
        dev.status = StatusBadDevice;
        return dev;
    }
    const int base = dev.octal() ? 8 : 10;
    int number = 0;
    for (int i = 1; i <= len; ++i) {
        const ushort d = address.at(i).unicode();
        if (d < '0' || d > '9' || int(d - '0') >= base) {
            dev.status = StatusBadDevice;
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
    if (type == DT_Bool)
        return count <= 0 ? 0 : (count + 15) / 16;
    return CValueCodec::byteLength(type, count) / 2;
}

TransferTarget LibMitsubishi_FX_links::parseTarget(const QString &text)
{
    TransferTarget t;
    const FxLinkDevice dev = parseAddress(text);
    t.status = dev.status;
    if (dev.status != 0)
        return t;
    // Bit devices go in word units of 16 points each; the first word starts at
    // the addressed device itself.
    const qint64 devicesToEnd = maxDeviceNumber(dev.letter) - dev.number + 1;
    t.area = dev.letter;
    t.bitDevice = dev.bitDevice();
    t.head = dev.number;
    t.step = dev.bitDevice() ? 16 : 1;
    t.unitsToEnd = devicesToEnd / t.step;
    t.firstPoint = dev.number;
    t.pointsToEnd = devicesToEnd;
    return t;
}

int LibMitsubishi_FX_links::readPiece(const TransferTarget &target, int address, int units,
                                      const QString &text, QByteArray *wire)
{
    return m_link.read_cmd(m_station, deviceNumberText(char(target.area), address), units, text, wire);
}

int LibMitsubishi_FX_links::writePiece(const TransferTarget &target, bool bitUnits, int address,
                                       int units, const QString &text, const QByteArray &wire)
{
    Q_UNUSED(units);
    // Consecutive points and words: X7 is followed by X10.
    const QString head = deviceNumberText(char(target.area), address);
    QByteArray chars = wire;
    if (bitUnits) {
        for (char &b : chars)
            b = b ? '1' : '0';
        return m_link.write_bits(m_station, head, chars, text);
    }
    for (char &d : chars)
        d = static_cast<char>(CmdMitsubishi_FX_links::GetHexconversionchar(static_cast<unsigned char>(d)));
    return m_link.write_words(m_station, head, chars, text);
}

CLabelVariable LibMitsubishi_FX_links::Read_data(QString deviceNumber, DataType type, int count, QString address)
{
    // The head device is the letter of the address text with the device-number
    // text getAddr made of it.
    return transferRead(parseTarget(address.left(1) + deviceNumber), address, type, count);
}
