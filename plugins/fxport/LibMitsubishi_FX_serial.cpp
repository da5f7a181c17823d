#include "LibMitsubishi_FX_serial.h"
#include "DeviceNames.h"
#include "LabelStatus.h"

#include <limits>

namespace {

const DriverIdentity kIdentity = {
    "Kelvaro", "V1.2.2 20230221", "v1.2.2 %1 %2", "Dec 18 2023", "11:13:48"
};

// Device blocks the programming port reaches, one row per block.
//
// Byte addresses (read command 0, extended word commands E00/E10):
//   S0..S999      0x0000 + n/8
//   X0..X377      0x0080 + n/8   (n octal)
//   Y0..Y377      0x00A0 + n/8   (n octal)
//   T contacts    0x00C0 + n/8   (TS0..TS255, read only)
//   M0..M1023     0x0100 + n/8
//   C contacts    0x01C0 + n/8   (CS0..CS255, read only)
//   M8000..M8255  0x01E0 + (n - 8000)/8   (special relays; 0x01E0 holds the run state)
//   T values      0x0800 + 2n             (TN0..TN255, 16-bit)
//   C values      0x0A00 + 2n             (CN0..CN199, 16-bit)
//                 0x0C00 + 4(n - 200)     (CN200..CN255, 32-bit, low word first)
//   D0..D7999     0x4000 + 2n             (extended area)
//   D8000..D8255  0x0E00 + 2(n - 8000)    (special registers)
// The T and C value addresses are unconfirmed (kept to their rows below); they
// are read with E00 and written with E10, like the special registers.
// Bit addresses of the force commands 7 (on) and 8 (off):
//   S 0x0000 + n, X 0x0400 + n, Y 0x0500 + n (n octal), M 0x0800 + n,
//   M8000.. 0x0F00 + (n - 8000).
// M1024..M7999 and anything past the last device of a block are refused: the
// byte map above has no room for them (M1024 would land on the C contacts).
struct Block {
    const char *name;
    int area;        // area code of the reads
    int first;       // first device number of the block
    int size;        // devices in the block
    bool octal;      // numbers written in octal (X, Y)
    int valueBytes;  // 0 bit devices, 2 16-bit registers, 4 32-bit counters
    int firstByte;   // byte address of the block's first device
    int bitBase;     // force bit address of the block's first device (bit devices)
    bool readOnly;   // contacts: no force command reaches them
};

using Lib = LibMitsubishi_FX_serial;
const Block kBlocks[] = {
    {"S", Lib::AreaS, 0, 1000, false, 0, 0x0000, 0x0000, false},
    {"X", Lib::AreaX, 0, 256, true, 0, 0x0080, 0x0400, false},
    {"Y", Lib::AreaY, 0, 256, true, 0, 0x00A0, 0x0500, false},
    {"M", Lib::AreaM, 0, 1024, false, 0, 0x0100, 0x0800, false},
    {"M", Lib::AreaM, 8000, 256, false, 0, 0x01E0, 0x0F00, false},
    {"D", Lib::AreaD, 0, 8000, false, 2, 0x4000, 0, false},
    {"D", Lib::AreaD, 8000, 256, false, 2, 0x0E00, 0, false},
    {"TS", Lib::AreaTS, 0, 256, false, 0, 0x00C0, 0, true},
    {"CS", Lib::AreaCS, 0, 256, false, 0, 0x01C0, 0, true},
    {"TN", Lib::AreaTN, 0, 256, false, 2, 0x0800, 0, false},   // unconfirmed address
    {"CN", Lib::AreaCN, 0, 200, false, 2, 0x0A00, 0, false},   // unconfirmed address
    {"CN", Lib::AreaCN, 200, 56, false, 4, 0x0C00, 0, false},  // unconfirmed address
};

// The first block of the device the text names.
const Block *blockNamed(const QString &text)
{
    return longestNamedRow(kBlocks, int(sizeof(kBlocks) / sizeof(kBlocks[0])), text);
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
    const Block *b = blockNamed(text);
    return b ? b->area : AreaNone;
}

int LibMitsubishi_FX_serial::getAddr(QString text)
{
    const Block *b = blockNamed(text);
    bool ok = false;
    const qulonglong v = text.mid(b ? int(qstrlen(b->name)) : 1).toULongLong(&ok, 10);
    if (!ok || v > qulonglong(std::numeric_limits<int>::max()))
        return 0;
    return int(v);
}

int LibMitsubishi_FX_serial::parseAddress(const QString &text, FxDevice *dev)
{
    const Block *named = blockNamed(text);
    if (!named)
        return StatusUnknownArea;
    if (dev) {
        dev->readOnly = named->readOnly;
        dev->wordDevice = named->valueBytes > 0;
    }
    const int nameLength = int(qstrlen(named->name));
    // A register may name one of its bits after a dot (D200.3): one or two
    // decimal digits, 0 to 15. Bit devices take no dot.
    int end = text.size();
    int dot = -1;
    const int bitIndex = bitIndexAfterDot(text, &dot);
    if (dot >= 0) {
        if (named->valueBytes == 0 || bitIndex < 0)
            return StatusBadDevice;
        end = dot;
    }
    const int len = end - nameLength;
    // Nine digits cannot overflow an int; every valid number is far shorter.
    if (len < 1 || len > 9)
        return StatusBadDevice;
    const bool octal = named->octal;
    int decimal = 0;
    int octalValue = 0;
    for (int i = nameLength; i < end; ++i) {
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
        if (qstrcmp(b.name, named->name) != 0 || value < b.first || value - b.first >= b.size)
            continue;
        FxDevice d;
        d.name = b.name;
        d.area = b.area;
        d.number = value;
        d.index = value - b.first;
        d.wordDevice = b.valueBytes > 0;
        d.valueBytes = b.valueBytes > 2 ? b.valueBytes : 0;
        d.readOnly = b.readOnly;
        d.bitIndex = bitIndex;
        d.blockSize = b.size;
        if (d.wordDevice) {
            d.firstByte = b.firstByte + b.valueBytes * d.index;
            d.blockEndByte = b.firstByte + b.valueBytes * b.size;
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
    t.readOnly = dev.readOnly;
    t.bitDevice = !dev.wordDevice;
    if (t.status != 0)
        return t;
    t.area = dev.area;
    t.valueBytes = dev.valueBytes;
    t.head = dev.firstByte;
    if (dev.wordDevice) {
        // D200.3: bools from bit 3 of D200 on, read in whole words.
        t.bitOffset = qMax(dev.bitIndex, 0);
        t.bitNamed = dev.bitIndex >= 0;
    } else {
        // Values from a bit device start on a byte boundary (M0, M8, X10, ...);
        // anything else would hand over bits before the addressed device.
        t.bitOffset = dev.bitOffset;
        t.bitNamed = dev.bitOffset != 0;
    }
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
