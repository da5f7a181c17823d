#include "SimProtocols.h"
#include "PlcMemory.h"

#include <QMutexLocker>
#include <QVector>

namespace {

const char STX = 0x02;
const char ETX = 0x03;
const char ENQ = 0x05;
const char ACK = 0x06;
const char NAK = 0x15;

// ---------------------------------------------------------------- ASCII helpers

int hexValue(char c)
{
    // The PLCs send and expect uppercase digits; a lowercase one is a character error.
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Value of count hex characters at pos, or -1 when one of them is no digit or
// they run past the end.
int hexField(const QByteArray &b, int pos, int count)
{
    if (pos < 0 || pos + count > b.size())
        return -1;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const int d = hexValue(b.at(pos + i));
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

QByteArray hexText(unsigned value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QByteArray out(digits, '0');
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

quint8 byteSum(const QByteArray &b, int from, int to)  // [from, to)
{
    unsigned s = 0;
    for (int i = from; i < to; ++i)
        s += quint8(b.at(i));
    return quint8(s & 0xFF);
}

// ================================================================ FX programming port
//
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
    QString name() const override { return QStringLiteral("fxport"); }

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

// ================================================================ FX computer link
//
// Format 1 with sum check:
//   ENQ station(2) PC(2) command(2) wait(1) head device(5) points(2) [data] sum(2)
// offsets:  0   1-2       3-4   5-6        7       8-12          13-14    15..
// Points "00" means 256. Limits (FX3U class): WR 64 words (32 on bit devices),
// WW 64 words (10 on bit devices), BR 256 points, BW 160 points; beyond them, or
// past the end of a device range, the answer is NAK with code 06 (character area
// error). Devices: X, Y (octal digits), M, S, D (decimal, four digits); timer
// and counter contacts TS, CS and current values TN, CN (three decimal digits;
// the 32-bit C200..C255 values are not served); R and W are not FX computer-link
// devices here (06). The message wait digit must be a hex digit
// (else 07) but is not applied: the answer goes out at once. Requests for other
// stations are skipped whole without an answer, bad sum or not.

struct LinkDevice
{
    const char *name;
    char area;
    bool octal;
    int end;  // one past the last device number served
};

const LinkDevice kLinkDevices[] = {
    {"X", 'X', true, 1 << 30}, {"Y", 'Y', true, 1 << 30}, {"M", 'M', false, 1 << 30},
    {"S", 'S', false, 1 << 30}, {"D", 'D', false, 1 << 30},
    {"TS", PlcMemory::AreaTS, false, 256}, {"CS", PlcMemory::AreaCS, false, 256},
    {"TN", PlcMemory::AreaTN, false, 256}, {"CN", PlcMemory::AreaCN, false, 200},
};

// The device of a head device field's first two characters: a two-letter name
// when they are one, else the one-letter name of the first.
const LinkDevice *linkDevice(const QByteArray &firstTwo)
{
    const LinkDevice *one = nullptr;
    for (const LinkDevice &d : kLinkDevices) {
        if (firstTwo == d.name)
            return &d;
        if (qstrlen(d.name) == 1 && firstTwo.startsWith(d.name))
            one = &d;
    }
    return one;
}

class FxLinkHandler : public ProtocolHandler
{
public:
    QString name() const override { return QStringLiteral("fxlink"); }

    enum Code { SumError = 0x02, ProtocolError = 0x03, AreaError = 0x06, CharError = 0x07, PcError = 0x0A };

    static QByteArray nakAnswer(const QByteArray &station, const QByteArray &pc, int code)
    {
        return QByteArray(1, NAK) + station + pc + hexText(code & 0xFF, 2);
    }

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        if (buf.isEmpty())
            return s;
        if (buf.at(0) != ENQ) {
            int i = 1;
            while (i < buf.size() && buf.at(i) != ENQ)
                ++i;
            s.kind = Served::Discard;
            s.consumed = i;
            return s;
        }
        // ENQ never occurs inside a request (all ASCII after it): a second one
        // means the first request was cut off. Such a fragment gets no answer.
        int nextEnq = -1;
        for (int i = 1; i < buf.size(); ++i)
            if (buf.at(i) == ENQ) {
                nextEnq = i;
                break;
            }
        const QByteArray head = nextEnq < 0 ? buf : buf.left(nextEnq);
        auto cutOff = [&]() {
            Served d;
            d.kind = Served::Discard;
            d.consumed = nextEnq;
            return d;
        };
        if (head.size() < 15)
            return nextEnq < 0 ? s : cutOff();

        const QByteArray stationText = head.mid(1, 2);
        const QByteArray pcText = head.mid(3, 2);
        const QByteArray command = head.mid(5, 2);
        const bool known = command == "WR" || command == "WW" || command == "BR" || command == "BW";
        const int station = hexField(head, 1, 2);
        const bool forUs = station >= 0 && station == (ctx.station & 0xFF);

        auto answerOnly = [&](int consumed, int code) {
            Served r;
            r.kind = Served::Request;
            r.consumed = consumed;
            if (forUs)
                r.answer = nakAnswer(stationText, pcText, code);
            return r;
        };

        if (!known) {
            // The length of an unknown request cannot be told: drop what is there.
            return answerOnly(nextEnq < 0 ? buf.size() : nextEnq, ProtocolError);
        }
        const int pointsField = hexField(head, 13, 2);
        const bool write = command.at(1) == 'W';   // WW, BW
        const bool words = command.at(0) == 'W';   // WR, WW
        if (pointsField < 0) {
            // A read request still has its fixed length; a write's length is lost.
            if (!write) {
                if (head.size() >= 17)
                    return answerOnly(17, CharError);
                return nextEnq < 0 ? s : cutOff();
            }
            return answerOnly(nextEnq < 0 ? buf.size() : nextEnq, CharError);
        }
        const int points = pointsField == 0 ? 256 : pointsField;
        const int dataLen = !write ? 0 : (words ? 4 * points : points);
        const int frameLen = 15 + dataLen + 2;
        if (head.size() < frameLen)
            return nextEnq < 0 ? s : cutOff();

        if (!forUs) {
            Served r;
            r.kind = Served::Request;
            r.consumed = frameLen;
            return r;  // another station's request: silence
        }
        const int sum = hexField(head, frameLen - 2, 2);
        if (sum < 0 || sum != byteSum(head, 1, frameLen - 2))
            return answerOnly(frameLen, SumError);
        if (pcText != "FF")
            return answerOnly(frameLen, PcError);
        if (hexField(head, 7, 1) < 0)
            return answerOnly(frameLen, CharError);

        // Head device: one letter and four digits, or two letters and three.
        const LinkDevice *device = linkDevice(head.mid(8, 2));
        if (!device)
            return answerOnly(frameLen, AreaError);
        const char letter = device->area;
        const int base = device->octal ? 8 : 10;
        int number = 0;
        for (int i = 8 + int(qstrlen(device->name)); i < 13; ++i) {
            const char c = head.at(i);
            if (c < '0' || c >= '0' + base)
                return answerOnly(frameLen, CharError);
            number = number * base + (c - '0');
        }
        const bool bitDevice = PlcMemory::isBitArea(letter);
        if (!words && !bitDevice)
            return answerOnly(frameLen, AreaError);  // bit units only on bit devices
        int limit = 0;
        if (command == "WR")
            limit = bitDevice ? 32 : 64;
        else if (command == "WW")
            limit = bitDevice ? 10 : 64;
        else if (command == "BR")
            limit = 256;
        else
            limit = 160;
        const int span = (words && bitDevice) ? 16 * points : points;
        if (points > limit || !PlcMemory::inRange(letter, number, span) || number + span > device->end)
            return answerOnly(frameLen, AreaError);

        PlcMemory *mem = ctx.memory;
        Served r;
        r.kind = Served::Request;
        r.consumed = frameLen;
        r.normal = true;
        r.refusal = [stationText, pcText](int code) { return nakAnswer(stationText, pcText, code < 0 ? SumError : code); };
        if (write) {
            QVector<quint16> values(points);
            for (int i = 0; i < points; ++i) {
                if (words) {
                    const int v = hexField(head, 15 + 4 * i, 4);
                    if (v < 0)
                        return answerOnly(frameLen, CharError);
                    values[i] = quint16(v);
                } else {
                    const char c = head.at(15 + i);
                    if (c != '0' && c != '1')
                        return answerOnly(frameLen, CharError);
                    values[i] = c == '1';
                }
            }
            r.answer = QByteArray(1, ACK) + stationText + pcText;
            r.commit = [mem, letter, number, words, bitDevice, values] {
                QMutexLocker l(&mem->lock());
                for (int i = 0; i < values.size(); ++i) {
                    if (!words)
                        mem->setBit(letter, number + i, values.at(i) != 0);
                    else if (bitDevice)
                        mem->setBitWord(letter, number + 16 * i, values.at(i));
                    else
                        mem->setWord(letter, number + i, values.at(i));
                }
            };
            return r;
        }
        QByteArray answer(1, STX);
        answer += stationText + pcText;
        {
            QMutexLocker l(&mem->lock());
            for (int i = 0; i < points; ++i) {
                if (!words)
                    answer += mem->bit(letter, number + i) ? '1' : '0';
                else if (bitDevice)
                    answer += hexText(mem->bitWord(letter, number + 16 * i), 4);
                else
                    answer += hexText(mem->word(letter, number + i), 4);
            }
        }
        answer += ETX;
        answer += hexText(byteSum(answer, 1, answer.size()), 2);
        r.answer = answer;
        return r;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        if (answer.size() < 4 || answer.at(0) != STX)
            return answer;
        QByteArray out = answer;
        const int sum = hexField(answer, answer.size() - 2, 2);
        out.replace(out.size() - 2, 2, hexText((sum + 0x5A) & 0xFF, 2));
        return out;
    }
};

// ================================================================ MC binary helpers

// Bit data in binary MC frames: one nibble per point, the first point in the
// high nibble, an odd count padded with a zero low nibble.
QByteArray packNibbles(const QVector<bool> &bits)
{
    QByteArray out((bits.size() + 1) / 2, 0);
    for (int i = 0; i < bits.size(); ++i)
        if (bits.at(i))
            out[i / 2] = char(quint8(out.at(i / 2)) | (i % 2 == 0 ? 0x10 : 0x01));
    return out;
}

// false when a nibble holds something other than 0 or 1
bool unpackNibbles(const QByteArray &data, int offset, int count, QVector<bool> *bits)
{
    bits->resize(count);
    for (int i = 0; i < count; ++i) {
        const quint8 b = quint8(data.at(offset + i / 2));
        const int nib = i % 2 == 0 ? (b >> 4) : (b & 0x0F);
        if (nib > 1)
            return false;
        (*bits)[i] = nib == 1;
    }
    return true;
}

quint16 le16(const QByteArray &b, int pos)
{
    return quint16(quint8(b.at(pos)) | (quint8(b.at(pos + 1)) << 8));
}

void putLe16(QByteArray *b, quint16 v)
{
    b->append(char(v & 0xFF));
    b->append(char(v >> 8));
}

// Reads count points of area starting at head: words, or for bit devices in word
// units 16 bits per word, as little-endian bytes.
QByteArray readWordsLe(PlcMemory &mem, char area, int head, int count)
{
    QByteArray out;
    QMutexLocker l(&mem.lock());
    for (int i = 0; i < count; ++i)
        putLe16(&out, PlcMemory::isBitArea(area) ? mem.bitWord(area, head + 16 * i) : mem.word(area, head + i));
    return out;
}

std::function<void()> writeWordsLe(PlcMemory *mem, char area, int head, const QByteArray &data)
{
    return [mem, area, head, data] {
        QMutexLocker l(&mem->lock());
        for (int i = 0; 2 * i + 1 < data.size(); ++i) {
            const quint16 v = le16(data, 2 * i);
            if (PlcMemory::isBitArea(area))
                mem->setBitWord(area, head + 16 * i, v);
            else
                mem->setWord(area, head + i, v);
        }
    };
}

QByteArray readBitsNibbles(PlcMemory &mem, char area, int head, int count)
{
    QVector<bool> bits(count);
    QMutexLocker l(&mem.lock());
    for (int i = 0; i < count; ++i)
        bits[i] = mem.bit(area, head + i);
    return packNibbles(bits);
}

std::function<void()> writeBits(PlcMemory *mem, char area, int head, const QVector<bool> &bits)
{
    return [mem, area, head, bits] {
        QMutexLocker l(&mem->lock());
        for (int i = 0; i < bits.size(); ++i)
            mem->setBit(area, head + i, bits.at(i));
    };
}

// ================================================================ MC 1E binary
//
// Request: subheader, PC number 0xFF, timer(2), head device(4 LE), device code(2
// LE: D 0x4420 goes out as 20 44), points(1, 0 = 256), 0x00, write data.
// Devices: X, Y, B (hexadecimal numbers), M, S, F, TS, CS bit devices; D, W
// (hexadecimal), R, TN, CN word devices.
// Completion codes used: 0x50 unknown subheader or a non-zero byte after the
// points, 0x56 unknown device code, bit units on a word device or bit data
// other than 0/1, 0x58 head device and points past the end of the device range,
// 0x5B + abnormal code 0x10 PC number other than 0xFF. Up to 256 points in every
// command (A-series limits). An unknown subheader leaves the request's length
// unknown: the rest of the received bytes is dropped after the answer.

class Mc1eHandler : public ProtocolHandler
{
public:
    QString name() const override { return QStringLiteral("mc1e"); }


    static QByteArray errorAnswer(quint8 sub, int code)
    {
        QByteArray a;
        a.append(char(sub | 0x80));
        a.append(char(code & 0xFF));
        if ((code & 0xFF) == 0x5B)
            a.append(char(0x10));
        return a;
    }

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        if (buf.isEmpty())
            return s;
        const quint8 sub = quint8(buf.at(0));
        auto error = [&](int consumed, int code) {
            Served r;
            r.kind = Served::Request;
            r.consumed = consumed;
            r.answer = errorAnswer(sub, code);
            return r;
        };
        if (sub > 0x03)
            return error(buf.size(), 0x50);
        if (buf.size() < 12)
            return s;
        const int points = quint8(buf.at(10)) == 0 ? 256 : quint8(buf.at(10));
        const int dataLen = sub == 0x02 ? (points + 1) / 2 : sub == 0x03 ? 2 * points : 0;
        const int frameLen = 12 + dataLen;
        if (buf.size() < frameLen)
            return s;
        if (quint8(buf.at(1)) != 0xFF)
            return error(frameLen, 0x5B);
        if (buf.at(11) != 0)
            return error(frameLen, 0x50);
        const quint32 head = quint32(quint8(buf.at(4))) | quint32(quint8(buf.at(5))) << 8
            | quint32(quint8(buf.at(6))) << 16 | quint32(quint8(buf.at(7))) << 24;
        const char letter = mc1eDeviceArea(le16(buf, 8));
        if (!letter)
            return error(frameLen, 0x56);
        const bool bitUnits = sub == 0x00 || sub == 0x02;
        const bool bitDevice = PlcMemory::isBitArea(letter);
        if (bitUnits && !bitDevice)
            return error(frameLen, 0x56);
        const int span = (!bitUnits && bitDevice) ? 16 * points : points;
        if (head > 0x7FFFFFFFu || !PlcMemory::inRange(letter, int(head), span))
            return error(frameLen, 0x58);

        Served r;
        r.kind = Served::Request;
        r.consumed = frameLen;
        r.normal = true;
        r.refusal = [sub](int code) { return errorAnswer(sub, code < 0 ? 0x5B : code); };
        QByteArray answer;
        answer.append(char(sub | 0x80));
        answer.append(char(0x00));
        PlcMemory *mem = ctx.memory;
        switch (sub) {
        case 0x00:
            answer += readBitsNibbles(*mem, letter, int(head), points);
            break;
        case 0x01:
            answer += readWordsLe(*mem, letter, int(head), points);
            break;
        case 0x02: {
            QVector<bool> bits;
            if (!unpackNibbles(buf, 12, points, &bits))
                return error(frameLen, 0x56);
            r.commit = writeBits(mem, letter, int(head), bits);
            break;
        }
        default:
            r.commit = writeWordsLe(mem, letter, int(head), buf.mid(12, dataLen));
            break;
        }
        r.answer = answer;
        return r;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        // 1E answers carry no length or sum field: the answer bit of the
        // subheader is cleared instead, which no host can take for an answer.
        QByteArray out = answer;
        if (!out.isEmpty())
            out[0] = char(quint8(out.at(0)) & 0x7F);
        return out;
    }
};

// ================================================================ MC 3E binary
//
// Request: 50 00, network, PC, module I/O(2), station, request data length(2 LE,
// bytes from the timer to the end), timer(2), command(2), subcommand(2), head
// device(3 LE), device code(1), points(2 LE), write data.
// Device codes: X 9C, Y 9D, B A0, SB A1, DX A2, DY A3 (hexadecimal numbers), M 90,
// SM 91, L 92, F 93, V 94, S 98, TC C0, TS C1, CC C3, CS C4 (bits); D A8, SD A9,
// W B4, SW B5 (hexadecimal), R AF, TN C2, CN C5, Z CC (words). DX and DY reach the
// X and Y memory.
// End codes used: C059 command or subcommand not 0401/1401 and 0000/0001;
// C061 request data length that does not fit the command (also a request too
// short to hold a command); C051 points 0 or above 960 (word units) / 7168 (bit
// units); C05C unknown device code, bit units on a word device, or bit data other
// than 0/1; C056 head device and points past the end of the device range.
// A request data length above 8192 is impossible for these commands: it is
// answered with C061 and everything received so far is dropped. A frame not
// starting with 50 00 cannot be delimited: everything received so far is dropped
// without an answer.

class Mc3eHandler : public ProtocolHandler
{
public:
    QString name() const override { return QStringLiteral("mc3e"); }

    static const int kMaxRequestLength = 8192;


    // routing: the five bytes network, PC, module I/O (2), station
    static QByteArray answerHead(const QByteArray &routing, int responseLength)
    {
        QByteArray a;
        a.append(char(0xD0));
        a.append(char(0x00));
        a += routing;
        putLe16(&a, quint16(responseLength));
        return a;
    }

    static QByteArray errorAnswer(const QByteArray &routing, const QByteArray &cmdSub, int code)
    {
        QByteArray a = answerHead(routing, 11);
        putLe16(&a, quint16(code));
        a += routing;
        a += cmdSub;
        return a;
    }

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        if (buf.isEmpty())
            return s;
        if (quint8(buf.at(0)) != 0x50 || (buf.size() > 1 && buf.at(1) != 0)) {
            s.kind = Served::Discard;
            s.consumed = buf.size();
            return s;
        }
        if (buf.size() < 9)
            return s;
        const QByteArray routing = buf.mid(2, 5);
        const int length = le16(buf, 7);
        if (length > kMaxRequestLength) {
            QByteArray cmdSub = buf.mid(11, 4);
            cmdSub.append(QByteArray(4 - cmdSub.size(), 0));
            Served r;
            r.kind = Served::Request;
            r.consumed = buf.size();
            r.answer = errorAnswer(routing, cmdSub, 0xC061);
            return r;
        }
        const int frameLen = 9 + length;
        if (buf.size() < frameLen)
            return s;
        QByteArray cmdSub = buf.mid(11, qMin(4, qMax(0, length - 2)));
        cmdSub.append(QByteArray(4 - cmdSub.size(), 0));
        auto error = [&](int code) {
            Served r;
            r.kind = Served::Request;
            r.consumed = frameLen;
            r.answer = errorAnswer(routing, cmdSub, code);
            return r;
        };
        if (length < 6)
            return error(0xC061);
        const quint16 command = le16(buf, 11);
        const quint16 sub = le16(buf, 13);
        if ((command != 0x0401 && command != 0x1401) || (sub != 0x0000 && sub != 0x0001))
            return error(0xC059);
        if (length < 12)
            return error(0xC061);
        const bool write = command == 0x1401;
        const bool bitUnits = sub == 0x0001;
        const int head = quint8(buf.at(15)) | quint8(buf.at(16)) << 8 | quint8(buf.at(17)) << 16;
        const quint8 code = quint8(buf.at(18));
        const int points = le16(buf, 19);
        if (points == 0 || points > (bitUnits ? 7168 : 960))
            return error(0xC051);
        const int dataLen = !write ? 0 : (bitUnits ? (points + 1) / 2 : 2 * points);
        if (length != 12 + dataLen)
            return error(0xC061);
        const char area = mc3eDeviceArea(code);
        if (!area || (bitUnits && !PlcMemory::isBitArea(area)))
            return error(0xC05C);
        const int span = (!bitUnits && PlcMemory::isBitArea(area)) ? 16 * points : points;
        if (!PlcMemory::inRange(area, head, span))
            return error(0xC056);

        Served r;
        r.kind = Served::Request;
        r.consumed = frameLen;
        r.normal = true;
        r.refusal = [routing, cmdSub](int c) { return errorAnswer(routing, cmdSub, c < 0 ? 0xC059 : c); };
        PlcMemory *mem = ctx.memory;
        QByteArray data;
        if (write) {
            if (bitUnits) {
                QVector<bool> bits;
                if (!unpackNibbles(buf, 21, points, &bits))
                    return error(0xC05C);
                r.commit = writeBits(mem, area, head, bits);
            } else {
                r.commit = writeWordsLe(mem, area, head, buf.mid(21, dataLen));
            }
        } else {
            data = bitUnits ? readBitsNibbles(*mem, area, head, points) : readWordsLe(*mem, area, head, points);
        }
        QByteArray answer = answerHead(routing, 2 + data.size());
        putLe16(&answer, 0);
        answer += data;
        r.answer = answer;
        return r;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        // The 3E answer has no sum check: its response data length is made to
        // claim one byte more than follows.
        if (answer.size() < 9)
            return answer;
        QByteArray out = answer;
        const quint16 len = quint16(le16(answer, 7) + 1);
        out[7] = char(len & 0xFF);
        out[8] = char(len >> 8);
        return out;
    }
};

} // namespace

std::unique_ptr<ProtocolHandler> ProtocolHandler::create(const QString &protocol)
{
    const QString p = protocol.toLower();
    if (p == QLatin1String("fxport"))
        return std::make_unique<FxPortHandler>();
    if (p == QLatin1String("fxlink"))
        return std::make_unique<FxLinkHandler>();
    if (p == QLatin1String("mc1e"))
        return std::make_unique<Mc1eHandler>();
    if (p == QLatin1String("mc3e"))
        return std::make_unique<Mc3eHandler>();
    return nullptr;
}

QStringList ProtocolHandler::protocols()
{
    return {QStringLiteral("fxport"), QStringLiteral("fxlink"), QStringLiteral("mc1e"), QStringLiteral("mc3e")};
}

char mc1eDeviceArea(int code)
{
    static const struct { quint16 code; char area; } codes[] = {
        {0x5820, 'X'}, {0x5920, 'Y'}, {0x4D20, 'M'}, {0x5320, 'S'}, {0x4220, 'B'}, {0x4620, 'F'},
        {0x5453, PlcMemory::AreaTS}, {0x4353, PlcMemory::AreaCS},
        {0x4420, 'D'}, {0x5720, 'W'}, {0x5220, 'R'}, {0x544E, PlcMemory::AreaTN}, {0x434E, PlcMemory::AreaCN},
    };
    for (const auto &c : codes)
        if (c.code == code)
            return c.area;
    return 0;
}

char mc3eDeviceArea(int code)
{
    switch (code) {
    case 0x9C: return 'X';
    case 0x9D: return 'Y';
    case 0x90: return 'M';
    case 0x98: return 'S';
    case 0xA8: return 'D';
    case 0xB4: return 'W';
    case 0xAF: return 'R';
    case 0x91: return PlcMemory::AreaSM;
    case 0x92: return 'L';
    case 0x93: return 'F';
    case 0x94: return 'V';
    case 0xA0: return 'B';
    case 0xA1: return PlcMemory::AreaSB;
    case 0xA2: return 'X';  // DX: direct access to the same inputs
    case 0xA3: return 'Y';  // DY: direct access to the same outputs
    case 0xC1: return PlcMemory::AreaTS;
    case 0xC0: return PlcMemory::AreaTC;
    case 0xC2: return PlcMemory::AreaTN;
    case 0xC4: return PlcMemory::AreaCS;
    case 0xC3: return PlcMemory::AreaCC;
    case 0xC5: return PlcMemory::AreaCN;
    case 0xA9: return PlcMemory::AreaSD;
    case 0xB5: return PlcMemory::AreaSW;
    case 0xCC: return 'Z';
    default: return 0;
    }
}

QString fxPortMemoryMapHelp()
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
        "Any byte outside these ranges is refused with NAK.\n");
}
