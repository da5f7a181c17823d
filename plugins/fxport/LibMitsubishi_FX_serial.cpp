#include "LibMitsubishi_FX_serial.h"
#include "LabelStatus.h"

#include <limits>

namespace {

const DriverIdentity kIdentity = {
    "Kelvaro", "V1.2.2 20230221", "v1.2.2 %1 %2", "Dec 18 2023", "11:13:48"
};

// Device blocks the programming port reaches.
//
// Byte addresses (read command 0, extended word commands E00/E10):
//   S0..S999      0x0000 + n/8
//   X0..X377      0x0080 + n/8   (n octal)
//   Y0..Y377      0x00A0 + n/8   (n octal)
//   M0..M1023     0x0100 + n/8
//   M8000..M8255  0x01E0 + (n - 8000)/8   (special relays; 0x01E0 holds the run state)
//   D0..D7999     0x4000 + 2n             (extended area)
//   D8000..D8255  0x0E00 + 2(n - 8000)    (special registers)
// Bit addresses of the force commands 7 (on) and 8 (off):
//   S 0x0000 + n, X 0x0400 + n, Y 0x0500 + n (n octal), M 0x0800 + n,
//   M8000.. 0x0F00 + (n - 8000).
// M1024..M7999 and anything past the last device of a block are refused: the
// byte map above has no room for them (M1024 would land on the C contacts).
struct Block {
    char letter;
    int first;       // first device number of the block
    int size;        // devices in the block
    bool octal;      // numbers written in octal (X, Y)
    bool word;       // 16-bit registers
    int firstByte;   // byte address of the block's first device
    int bitBase;     // force bit address of the block's first device (bit devices)
};

const Block kBlocks[] = {
    {'S', 0, 1000, false, false, 0x0000, 0x0000},
    {'X', 0, 256, true, false, 0x0080, 0x0400},
    {'Y', 0, 256, true, false, 0x00A0, 0x0500},
    {'M', 0, 1024, false, false, 0x0100, 0x0800},
    {'M', 8000, 256, false, false, 0x01E0, 0x0F00},
    {'D', 0, 8000, false, true, 0x4000, 0},
    {'D', 8000, 256, false, true, 0x0E00, 0},
};

int areaCodeOf(char letter)
{
    switch (letter) {
    case 'X': return LibMitsubishi_FX_serial::AreaX;
    case 'Y': return LibMitsubishi_FX_serial::AreaY;
    case 'M': return LibMitsubishi_FX_serial::AreaM;
    case 'D': return LibMitsubishi_FX_serial::AreaD;
    case 'S': return LibMitsubishi_FX_serial::AreaS;
    default: return LibMitsubishi_FX_serial::AreaNone;
    }
}

// Upper-case device letter of the text's first character, 0 for none.
char deviceLetter(const QString &text)
{
    if (text.isEmpty())
        return 0;
    switch (text.at(0).unicode()) {
    case 'X': case 'x': return 'X';
    case 'Y': case 'y': return 'Y';
    case 'M': case 'm': return 'M';
    case 'D': case 'd': return 'D';
    case 'S': case 's': return 'S';
    default: return 0;
    }
}

// Byte addresses; 32 words (64 bytes) a request, the common practice with FX
// PLCs; bit devices are written one force command per bit, and registers only
// take words.
TransferRules kelvaroRules()
{
    TransferRules r;
    r.unitBytes = 1;
    r.readWords = CmdMitsubishi_FX_serial::MaxBytesPerRequest / 2;
    r.writeUnits = CmdMitsubishi_FX_serial::MaxBytesPerRequest;
    r.writePoints = 1;
    r.typeBeforeCount = true;
    r.wordsToBitDevices = false;
    r.refusedReadKeepsCallTime = false;
    return r;
}

const TransferRules kRules = kelvaroRules();

ProfileKeys kelvaroKeys()
{
    ProfileKeys k;
    k.readWordsMax = CmdMitsubishi_FX_serial::MaxBytesPerRequest / 2;
    return k;
}

} // namespace

LibMitsubishi_FX_serial::LibMitsubishi_FX_serial(QObject *parent)
    : CTransferDriver(kIdentity, m_link, kRules, WireRepresentation::HexByte, kelvaroKeys(), parent)
{
}

int LibMitsubishi_FX_serial::getArea(QString text)
{
    return areaCodeOf(deviceLetter(text));
}

int LibMitsubishi_FX_serial::getAddr(QString text)
{
    bool ok = false;
    const qulonglong v = text.mid(1).toULongLong(&ok, 10);
    if (!ok || v > qulonglong(std::numeric_limits<int>::max()))
        return 0;
    return int(v);
}

int LibMitsubishi_FX_serial::parseAddress(const QString &text, FxDevice *dev)
{
    const char letter = deviceLetter(text);
    if (!letter)
        return StatusUnknownArea;
    const int len = text.size() - 1;
    // Nine digits cannot overflow an int; every valid number is far shorter.
    if (len < 1 || len > 9)
        return StatusBadDevice;
    bool octal = letter == 'X' || letter == 'Y';
    int decimal = 0;
    int octalValue = 0;
    for (int i = 1; i <= len; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return StatusBadDevice;
        if (octal && c > '7')
            return StatusBadDevice;
        decimal = decimal * 10 + int(c - '0');
        octalValue = octalValue * 8 + int(c - '0');
    }
    const int value = octal ? octalValue : decimal;
    for (const Block &b : kBlocks) {
        if (b.letter != letter || value < b.first || value - b.first >= b.size)
            continue;
        FxDevice d;
        d.letter = letter;
        d.number = value;
        d.index = value - b.first;
        d.wordDevice = b.word;
        d.blockSize = b.size;
        if (b.word) {
            d.firstByte = b.firstByte + 2 * d.index;
            d.blockEndByte = b.firstByte + 2 * b.size;
            d.bitOffset = 0;
        } else {
            d.firstByte = b.firstByte + d.index / 8;
            d.blockEndByte = b.firstByte + (b.size + 7) / 8;
            d.bitOffset = d.index % 8;
            d.bitBase = b.bitBase;
        }
        if (dev)
            *dev = d;
        return 0;
    }
    return StatusBadDevice;
}

qint64 LibMitsubishi_FX_serial::byteLength(int type, int count)
{
    return CValueCodec::byteLength(type, count);
}

TransferTarget LibMitsubishi_FX_serial::parseTarget(const QString &text)
{
    TransferTarget t;
    FxDevice dev;
    t.status = parseAddress(text, &dev);
    if (t.status != 0)
        return t;
    t.area = areaCodeOf(dev.letter);
    t.bitDevice = !dev.wordDevice;
    t.head = dev.firstByte;
    t.bitOffset = dev.bitOffset;
    // Values from a bit device start on a byte boundary (M0, M8, X10, ...);
    // anything else would hand over bits before the addressed device.
    t.bitNamed = dev.bitOffset != 0;
    t.unitsToEnd = dev.blockEndByte - dev.firstByte;
    // X and Y: the index is the octal number's value, so the points walk X7,
    // X10, X11, ... as the PLC numbers them.
    t.firstPoint = dev.bitBase + dev.index;
    t.pointsToEnd = dev.blockSize - dev.index;
    return t;
}

int LibMitsubishi_FX_serial::readPiece(const TransferTarget &target, int address, int units,
                                       const QString &text, QByteArray *wire)
{
    return m_link.read_cmd(target.area, address, units, text, wire);
}

int LibMitsubishi_FX_serial::writePiece(const TransferTarget &target, bool bitUnits, int address,
                                        int units, const QString &text, const QByteArray &wire)
{
    if (!bitUnits)
        return m_link.write_cmd(AreaD, address, units, text, wire);
    return m_link.write_cmd(target.area, address, 1, text, QByteArray(1, wire.at(0) ? '7' : '8'));
}

CLabelVariable LibMitsubishi_FX_serial::Read_data(int area, int n, DataType type, int count, QString text)
{
    Q_UNUSED(area);
    Q_UNUSED(n);
    return transferRead(parseTarget(text), text, type, count);
}

CLabelVariable LibMitsubishi_FX_serial::Write_data(CLabelVariable value, int area, int n, DataType type, int count, QString text)
{
    Q_UNUSED(area);
    Q_UNUSED(n);
    return transferWrite(value, parseTarget(text), text, type, count);
}
