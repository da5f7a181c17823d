// FX programming port, as the PLC answers it: commands 0 / 1 (read / write
// bytes), E00 / E10 (the same over the extended address range), 7 / 8 (force a
// bit on / off) and the ENQ probe, framed STX ... ETX and two sum digits.
#include "FxAscii.h"
#include "PlcMemory.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

#include <QMutexLocker>
#include <QVector>

PLCSIM_PROTOCOL_FILE(fxport)

namespace {

using namespace plcsim::fx;

// Byte addresses of commands 0 (read) and 1 (write):
//   0x0000-0x007F  S0-S1023       bit i of byte a = S(8a + i)
//   0x0080-0x009F  X0-X377        (octal numbers; byte a holds X 8(a-0x80) ..)
//   0x00A0-0x00BF  Y0-Y377
//   0x00C0-0x00DF  T contacts T0-T255
//   0x0100-0x017F  M0-M1023
//   0x01C0-0x01DF  C contacts C0-C255
//   0x01E0-0x01FF  M8000-M8255
//   0x0800-0x09FF  T current values T0-T255     two bytes each, low byte first
//   0x0A00-0x0B8F  C current values C0-C199     two bytes each
//   0x0C00-0x0CDF  C current values C200-C255   four bytes each, low word first
//   0x0E00-0x0FFF  D8000-D8255    two bytes per register, low byte first
//   0x1000-0x17CF  D0-D999
// Extended commands E00 / E10:
//   0x0800-0x0CDF  T and C current values, as above
//   0x0E00-0x0FFF  D8000-D8255
//   0x4000-0x7E7F  D0-D7999
// Bit addresses of force on (7) / off (8), sent low byte first:
//   0x0000-0x03FF  S0-S1023
//   0x0400-0x04FF  X0-X377
//   0x0500-0x05FF  Y0-Y377
//   0x0800-0x0BFF  M0-M1023
//   0x0F00-0x0FFF  M8000-M8255
// Anything not listed is not simulated: a request that touches one of its
// bytes is refused with NAK, as is a request running past the end of the
// listed ranges. Byte count 1 to 255 (two hex digits, 0 is refused).

struct ByteLoc
{
    char area = 0;
    int number = 0;     // first device of the byte (bit areas) or the register
    bool high = false;  // registers: the register's high byte
};

bool mapWordByte(int addr, int base, char area, int firstReg, int lastReg, ByteLoc *loc)
{
    const int off = addr - base;
    if (off < 0)
        return false;
    const int reg = firstReg + off / 2;
    if (reg > lastReg)
        return false;
    loc->area = area;
    loc->number = reg;
    loc->high = (off & 1) != 0;
    return true;
}

// The 32-bit counters C200..C255: low word in CN, high word kept apart.
bool mapCounter32Byte(int addr, ByteLoc *loc)
{
    const int off = addr - 0x0C00;
    if (off < 0 || off >= 4 * 56)
        return false;
    loc->area = (off & 2) ? PlcMemory::AreaCNHigh : PlcMemory::AreaCN;
    loc->number = 200 + off / 4;
    loc->high = (off & 1) != 0;
    return true;
}

bool mapBitByte(int addr, int base, int bytes, char area, int firstDevice, ByteLoc *loc)
{
    if (addr < base || addr >= base + bytes)
        return false;
    loc->area = area;
    loc->number = firstDevice + 8 * (addr - base);
    return true;
}

// Registers both command sets reach: T and C current values, D8000 and up.
bool mapSharedWordByte(int addr, ByteLoc *loc)
{
    return (addr >= 0x0800 && addr <= 0x09FF && mapWordByte(addr, 0x0800, PlcMemory::AreaTN, 0, 255, loc))
        || (addr >= 0x0A00 && addr <= 0x0B8F && mapWordByte(addr, 0x0A00, PlcMemory::AreaCN, 0, 199, loc))
        || mapCounter32Byte(addr, loc)
        || (addr >= 0x0E00 && addr <= 0x0FFF && mapWordByte(addr, 0x0E00, 'D', 8000, 8255, loc));
}

bool mapPlainByte(int addr, ByteLoc *loc)
{
    return mapBitByte(addr, 0x0000, 0x80, 'S', 0, loc)
        || mapBitByte(addr, 0x0080, 0x20, 'X', 0, loc)
        || mapBitByte(addr, 0x00A0, 0x20, 'Y', 0, loc)
        || mapBitByte(addr, 0x00C0, 0x20, PlcMemory::AreaTS, 0, loc)
        || mapBitByte(addr, 0x0100, 0x80, 'M', 0, loc)
        || mapBitByte(addr, 0x01C0, 0x20, PlcMemory::AreaCS, 0, loc)
        || mapBitByte(addr, 0x01E0, 0x20, 'M', 8000, loc)
        || mapSharedWordByte(addr, loc)
        || (addr >= 0x1000 && addr <= 0x17CF && mapWordByte(addr, 0x1000, 'D', 0, 999, loc));
}

bool mapExtendedByte(int addr, ByteLoc *loc)
{
    return mapSharedWordByte(addr, loc)
        || (addr >= 0x4000 && addr <= 0x7E7F && mapWordByte(addr, 0x4000, 'D', 0, 7999, loc));
}

bool mapForceBit(int addr, char *area, int *number)
{
    struct Range { int base, size; char area; int first; };
    static const Range ranges[] = {
        {0x0000, 1024, 'S', 0}, {0x0400, 256, 'X', 0}, {0x0500, 256, 'Y', 0},
        {0x0800, 1024, 'M', 0}, {0x0F00, 256, 'M', 8000},
    };
    for (const Range &r : ranges) {
        if (addr >= r.base && addr < r.base + r.size) {
            *area = r.area;
            *number = r.first + (addr - r.base);
            return true;
        }
    }
    return false;
}

quint8 readByte(const PlcMemory &mem, const ByteLoc &loc)
{
    if (PlcMemory::isWordArea(loc.area)) {
        const quint16 w = mem.word(loc.area, loc.number);
        return quint8(loc.high ? (w >> 8) : (w & 0xFF));
    }
    quint8 v = 0;
    for (int i = 0; i < 8; ++i)
        if (mem.bit(loc.area, loc.number + i))
            v |= quint8(1u << i);
    return v;
}

void writeByte(PlcMemory &mem, const ByteLoc &loc, quint8 v)
{
    if (PlcMemory::isWordArea(loc.area)) {
        quint16 w = mem.word(loc.area, loc.number);
        w = loc.high ? quint16((w & 0x00FF) | (v << 8)) : quint16((w & 0xFF00) | v);
        mem.setWord(loc.area, loc.number, w);
        return;
    }
    for (int i = 0; i < 8; ++i)
        mem.setBit(loc.area, loc.number + i, (v >> i) & 1);
}

class FxPortHandler : public ProtocolHandler
{
public:
    static QByteArray nak() { return QByteArray(1, NAK); }

    static Served refused(int consumed)
    {
        Served s;
        s.kind = Served::Request;
        s.consumed = consumed;
        s.answer = nak();
        return s;
    }

    // The longest frame: STX E10 addr(4) count(2) 255 bytes of data, ETX, sum.
    static const int kMaxFrame = 1 + 3 + 4 + 2 + 2 * 255 + 1 + 2;

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        if (buf.isEmpty())
            return s;
        if (buf.at(0) == ENQ) {
            // The port answers an enquiry with ACK: a host may probe the line with it.
            s.kind = Served::Control;
            s.consumed = 1;
            s.answer = QByteArray(1, ACK);
            return s;
        }
        if (buf.at(0) != STX) {
            int i = 1;
            while (i < buf.size() && buf.at(i) != STX && buf.at(i) != ENQ)
                ++i;
            s.kind = Served::Discard;
            s.consumed = i;
            return s;
        }
        // Frames are ASCII between STX and ETX, so ETX ends the frame and a second
        // STX before it means the first frame was cut off.
        int etx = -1;
        for (int i = 1; i < buf.size(); ++i) {
            if (buf.at(i) == ETX) {
                etx = i;
                break;
            }
            if (buf.at(i) == STX || buf.at(i) == ENQ)
                return refused(i);
        }
        if (etx < 0) {
            if (buf.size() > kMaxFrame)
                return refused(buf.size());
            return s;  // need more
        }
        if (buf.size() < etx + 3)
            return s;
        const int frameLen = etx + 3;
        const int sum = hexField(buf, etx + 1, 2);
        if (sum < 0 || sum != byteSum(buf, 1, etx + 1))
            return refused(frameLen);
        const QByteArray body = buf.mid(1, etx - 1);
        return serveBody(body, frameLen, *ctx.memory);
    }

    Served serveBody(const QByteArray &body, int frameLen, PlcMemory &mem) const
    {
        if (body.isEmpty())
            return refused(frameLen);
        const char cmd = body.at(0);
        if (cmd == '0' || cmd == '1')
            return serveBytes(body.mid(1), cmd == '1', false, frameLen, mem);
        if (cmd == 'E') {
            if (body.size() < 3 || body.at(2) != '0' || (body.at(1) != '0' && body.at(1) != '1'))
                return refused(frameLen);
            return serveBytes(body.mid(3), body.at(1) == '1', true, frameLen, mem);
        }
        if (cmd == '7' || cmd == '8') {
            if (body.size() != 5)
                return refused(frameLen);
            const int low = hexField(body, 1, 2);
            const int high = hexField(body, 3, 2);
            char area = 0;
            int number = 0;
            if (low < 0 || high < 0 || !mapForceBit(high << 8 | low, &area, &number))
                return refused(frameLen);
            Served s;
            s.kind = Served::Request;
            s.consumed = frameLen;
            s.normal = true;
            s.answer = QByteArray(1, ACK);
            const bool on = cmd == '7';
            PlcMemory *m = &mem;
            s.commit = [m, area, number, on] { m->setBit(area, number, on); };
            s.refusal = [](int) { return nak(); };
            return s;
        }
        return refused(frameLen);
    }

    // rest: addr(4) count(2) [data]
    Served serveBytes(const QByteArray &rest, bool write, bool extended, int frameLen, PlcMemory &mem) const
    {
        const int addr = hexField(rest, 0, 4);
        const int count = hexField(rest, 4, 2);
        if (addr < 0 || count <= 0)
            return refused(frameLen);
        const int expected = 6 + (write ? 2 * count : 0);
        if (rest.size() != expected)
            return refused(frameLen);
        QVector<ByteLoc> locs(count);
        for (int i = 0; i < count; ++i) {
            const bool ok = extended ? mapExtendedByte(addr + i, &locs[i]) : mapPlainByte(addr + i, &locs[i]);
            if (!ok)
                return refused(frameLen);
        }
        Served s;
        s.kind = Served::Request;
        s.consumed = frameLen;
        s.normal = true;
        s.refusal = [](int) { return nak(); };
        if (write) {
            QByteArray data(count, 0);
            for (int i = 0; i < count; ++i) {
                const int v = hexField(rest, 6 + 2 * i, 2);
                if (v < 0)
                    return refused(frameLen);
                data[i] = char(v);
            }
            s.answer = QByteArray(1, ACK);
            PlcMemory *m = &mem;
            s.commit = [m, locs, data] {
                QMutexLocker l(&m->lock());
                for (int i = 0; i < locs.size(); ++i)
                    writeByte(*m, locs.at(i), quint8(data.at(i)));
            };
            return s;
        }
        QByteArray answer(1, STX);
        {
            QMutexLocker l(&mem.lock());
            for (const ByteLoc &loc : locs)
                answer += hexText(readByte(mem, loc), 2);
        }
        answer += ETX;
        answer += hexText(byteSum(answer, 1, answer.size()), 2);
        s.answer = answer;
        return s;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        // Only data answers carry a sum check; ACK and NAK go out as they are.
        if (answer.size() < 4 || answer.at(0) != STX)
            return answer;
        QByteArray out = answer;
        const int sum = hexField(answer, answer.size() - 2, 2);
        out.replace(out.size() - 2, 2, hexText((sum + 0x5A) & 0xFF, 2));
        return out;
    }
};

// ---------------------------------------------------------------- log

// Where an FX programming-port address lies: `scale` devices per address
// step (8 bits a byte), or with a negative scale -scale address steps per
// device (2 bytes a word).
struct FxRange {
    int from, to;
    const char *name;
    int first;
    int scale;
    bool octal;
};

// T and C current values, in both command sets.
#define FX_VALUE_RANGES                                                                    \
    {0x0800, 0x09FF, "TN", 0, -2, false}, {0x0A00, 0x0B8F, "CN", 0, -2, false},            \
        {0x0C00, 0x0CDF, "CN", 200, -4, false}, {0x0E00, 0x0FFF, "D", 8000, -2, false}
const FxRange kFxBytes[] = {{0x0000, 0x007F, "S", 0, 8, false},    {0x0080, 0x009F, "X", 0, 8, true},
                            {0x00A0, 0x00BF, "Y", 0, 8, true},     {0x00C0, 0x00DF, "TS", 0, 8, false},
                            {0x0100, 0x01BF, "M", 0, 8, false},    {0x01C0, 0x01DF, "CS", 0, 8, false},
                            {0x01E0, 0x01FF, "M", 8000, 8, false}, FX_VALUE_RANGES,
                            {0x1000, 0x4E7F, "D", 0, -2, false}};
const FxRange kFxExtended[] = {FX_VALUE_RANGES, {0x4000, 0x7E7F, "D", 0, -2, false}};
const FxRange kFxBits[] = {{0x0000, 0x03FF, "S", 0, 1, false}, {0x0400, 0x04FF, "X", 0, 1, true},
                           {0x0500, 0x05FF, "Y", 0, 1, true},  {0x0800, 0x0EFF, "M", 0, 1, false},
                           {0x0F00, 0x0FFF, "M", 8000, 1, false}};
#undef FX_VALUE_RANGES

template <size_t N>
QString fxDevice(const FxRange (&table)[N], int address)
{
    for (const FxRange &r : table) {
        if (address < r.from || address > r.to)
            continue;
        const int offset = address - r.from;
        const int n = r.first + (r.scale > 0 ? offset * r.scale : offset / -r.scale);
        return QLatin1String(r.name) + (r.octal ? QString::number(n, 8) : QString::number(n));
    }
    return QStringLiteral("address ") + SimLog::hex(address, 4);
}

QString fxPortRequest(const QByteArray &q)
{
    const char cmd = q.size() > 1 ? q.at(1) : 0;
    if (cmd == 'E' && q.size() > 2) {
        const bool write = q.at(2) == '1';
        return QStringLiteral("%1 %2 bytes %3").arg(write ? QStringLiteral("E10 write") : QStringLiteral("E00 read"),
                                                    fxDevice(kFxExtended, logHexField(q, 4, 4))).arg(logHexField(q, 8, 2));
    }
    if (cmd == '0' || cmd == '1')
        return QStringLiteral("%1 %2 bytes %3").arg(cmd == '0' ? QStringLiteral("read") : QStringLiteral("write"),
                                                    fxDevice(kFxBytes, logHexField(q, 2, 4))).arg(logHexField(q, 6, 2));
    if (cmd == '7' || cmd == '8') {
        const int low = logHexField(q, 2, 2), high = logHexField(q, 4, 2);
        return QStringLiteral("force %1 %2").arg(cmd == '7' ? QStringLiteral("on") : QStringLiteral("off"),
                                                 fxDevice(kFxBits, low < 0 || high < 0 ? -1 : high << 8 | low));
    }
    return QStringLiteral("command \"%1\"").arg(QLatin1Char(cmd));
}

} // namespace

namespace plcsim {
namespace fxport {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<FxPortHandler>();
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    return SimLog::summary(fxPortRequest(request), answer);
}

QString help()
{
    return QStringLiteral(
        "fxport byte addresses (commands 0 read / 1 write, 1..255 bytes):\n"
        "  0x0000-0x007F S0-S1023      0x0080-0x009F X0-X377 (octal)\n"
        "  0x00A0-0x00BF Y0-Y377       0x00C0-0x00DF T0-T255 contacts (TS)\n"
        "  0x0100-0x017F M0-M1023      0x01C0-0x01DF C0-C255 contacts (CS)\n"
        "  0x01E0-0x01FF M8000-M8255   0x0800-0x09FF T0-T255 values (TN)\n"
        "  0x0A00-0x0B8F C0-C199 values (CN)  0x0C00-0x0CDF C200-C255 (32-bit)\n"
        "  0x0E00-0x0FFF D8000-D8255   0x1000-0x17CF D0-D999\n"
        "                              (bit i of a byte = device 8*byte+i;\n"
        "                               registers two bytes, low byte first)\n"
        "fxport extended commands E00 read / E10 write:\n"
        "  0x4000-0x7E7F D0-D7999      0x0800-0x0FFF as above (T/C values, D8000-D8255)\n"
        "fxport force on 7 / off 8 (address sent low byte first):\n"
        "  0x0000 S0-S1023  0x0400 X0-X377  0x0500 Y0-Y377\n"
        "  0x0800 M0-M1023  0x0F00 M8000-M8255\n"
        "Any byte outside these ranges is refused with NAK.\n"
        "\n"
        "fxport: frames run from STX to ETX and the two sum digits; a malformed frame\n"
        "  or a wrong sum gets NAK, bytes before STX are dropped, ENQ is answered with ACK.\n");
}

} // namespace fxport
} // namespace plcsim
