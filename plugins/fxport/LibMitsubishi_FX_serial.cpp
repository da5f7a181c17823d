#include "LibMitsubishi_FX_serial.h"
#include "LocalClock.h"

#include <QDateTime>
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

} // namespace

LibMitsubishi_FX_serial::LibMitsubishi_FX_serial(QObject *parent)
    : CDriverShell(kIdentity, m_link, parent)
    , m_codec(WireRepresentation::HexByte)
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
        return 3;
    const int len = text.size() - 1;
    // Nine digits cannot overflow an int; every valid number is far shorter.
    if (len < 1 || len > 9)
        return 5;
    bool octal = letter == 'X' || letter == 'Y';
    int decimal = 0;
    int octalValue = 0;
    for (int i = 1; i <= len; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return 5;
        if (octal && c > '7')
            return 5;
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
    return 5;
}

qint64 LibMitsubishi_FX_serial::byteLength(int type, int count)
{
    if (count <= 0 || !CValueCodec::hasDecoder(type))
        return 0;
    if (type == DT_Bool)
        return (qint64(count) + 7) / 8;
    if (type == DT_Int8 || type == DT_UInt8)
        return qint64(count / 2) * 2;
    return qint64(count) * CValueCodec::elementWidth(type);
}

CLabelVariable LibMitsubishi_FX_serial::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable result;
    const int area = getArea(address);
    const int n = getAddr(address);
    if (area == AreaNone) {
        result.status = 3;
    } else if (type == DT_None) {
        result.status = 2;
    } else {
        takeOutcome(result, Read_data(area, n, type, count, address));
    }
    stampRequest(result, address, type, count);
    return result;
}

// `area` and `n` are what getArea and getAddr made of `text`; the device itself
// is taken from `text`, which also says whether X and Y numbers are octal.
CLabelVariable LibMitsubishi_FX_serial::Read_data(int area, int n, DataType type, int count, QString text)
{
    Q_UNUSED(area);
    Q_UNUSED(n);
    CLabelVariable result;
    if (!CValueCodec::hasDecoder(type)) {
        result.status = 2;
        return result;
    }
    qint64 total = byteLength(type, count);
    if (total <= 0) {
        result.status = 4;
        return result;
    }
    FxDevice dev;
    const int parsed = parseAddress(text, &dev);
    if (parsed != 0) {
        result.status = parsed;
        return result;
    }
    int bitOffset = 0;
    if (type == DT_Bool) {
        // Whole bytes from the one holding the addressed bit, enough to cover
        // the bits before it in that byte plus the count asked for.
        bitOffset = dev.wordDevice ? 0 : dev.bitOffset;
        total = (qint64(bitOffset) + count + 7) / 8;
    } else if (!dev.wordDevice && dev.bitOffset != 0) {
        // Values from a bit device start on a byte boundary (M0, M8, X10, ...);
        // anything else would hand over bits before the addressed device.
        result.status = 5;
        return result;
    }
    if (total > MaxTransferBytes || dev.firstByte + total > dev.blockEndByte) {
        result.status = 5;
        return result;
    }

    const int areaCode = areaCodeOf(dev.letter);
    QByteArray digits;
    digits.reserve(int(2 * total));
    const int r = forEachChunk(int(total), CmdMitsubishi_FX_serial::MaxBytesPerRequest,
                               [&](int offset, int length) {
                                   return m_link.read_cmd(areaCode, dev.firstByte + offset, length,
                                                          text, &digits);
                               });
    result.status = statusForLinkResult(r, result.status);
    if (r == 0 && digits.size() == 2 * total) {
        result.timestamp = LocalClock::now();
        const int elements = type == DT_Bool ? count : int(total / CValueCodec::elementWidth(type));
        result.value = m_codec.decode(type, digits, elements, bitOffset);
    } else if (r == 0) {
        result.status = 1;
    }
    return result;
}

CLabelVariable LibMitsubishi_FX_serial::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    const int area = getArea(address);
    const int n = getAddr(address);
    if (area == AreaNone) {
        value.status = 3;
    } else if (type == DT_None) {
        value.status = 2;
    } else {
        takeOutcome(value, Write_data(value, area, n, type, count, address));
    }
    stampRequest(value, address, type, count);
    return value;
}

// As Read_data: the device is taken from `text`.
CLabelVariable LibMitsubishi_FX_serial::Write_data(CLabelVariable value, int area, int n, DataType type, int count, QString text)
{
    Q_UNUSED(area);
    Q_UNUSED(n);
    if (!CValueCodec::hasDecoder(type)) {
        value.status = 2;
        return value;
    }
    const qint64 total = byteLength(type, count);
    if (total <= 0) {
        value.status = 4;
        return value;
    }
    FxDevice dev;
    const int parsed = parseAddress(text, &dev);
    if (parsed != 0) {
        value.status = parsed;
        return value;
    }

    int r = 1;
    if (dev.wordDevice) {
        // Registers take whole words; single bits of a register cannot be forced.
        if (type == DT_Bool) {
            value.status = 2;
            return value;
        }
        if (total > MaxTransferBytes || dev.firstByte + total > dev.blockEndByte) {
            value.status = 5;
            return value;
        }
        QByteArray digits;
        const int elements = int(total / CValueCodec::elementWidth(type));
        const int encoded = m_codec.encode(type, value, elements, &digits);
        if (encoded != EncodeOk) {
            value.status = encoded;
            return value;
        }
        if (digits.size() != 2 * total) {
            value.status = 2;
            return value;
        }
        value.status = 1;
        r = forEachChunk(int(total), CmdMitsubishi_FX_serial::MaxBytesPerRequest,
                         [&](int offset, int length) {
                             return m_link.write_cmd(AreaD, dev.firstByte + offset, length, text,
                                                     digits.mid(2 * offset, 2 * length));
                         });
    } else {
        // Bit devices are written bit by bit with the force commands; a word
        // value has no meaning as a force command, so it is refused.
        if (type != DT_Bool) {
            value.status = 2;
            return value;
        }
        if (qint64(dev.index) + count > dev.blockSize) {
            value.status = 5;
            return value;
        }
        QByteArray bits;
        const int encoded = m_codec.encode(DT_Bool, value, count, &bits);
        if (encoded != EncodeOk) {
            value.status = encoded;
            return value;
        }
        if (bits.size() != count) {
            value.status = 2;
            return value;
        }
        value.status = 1;
        const int areaCode = areaCodeOf(dev.letter);
        r = 0;
        // X and Y: the index is the octal number's value, so index + i walks
        // X7, X10, X11, ... as the PLC numbers them.
        for (int i = 0; i < count && r == 0; ++i) {
            const char command = bits.at(i) ? '7' : '8';
            r = m_link.write_cmd(areaCode, dev.bitBase + dev.index + i, 1, text, QByteArray(1, command));
        }
    }
    value.status = statusForLinkResult(r, value.status);
    if (r == 0)
        value.timestamp = LocalClock::now();
    return value;
}
