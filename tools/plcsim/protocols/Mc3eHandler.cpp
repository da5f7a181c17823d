// MC protocol, binary 3E frames, as the PLC answers them.
#include "McBinary.h"
#include "PlcMemory.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

#include <QVector>

PLCSIM_PROTOCOL_FILE(mc3e)
PLCSIM_PROTOCOL_FILE(mc4e)

namespace {

using namespace plcsim::mc;

// Request: 50 00, network, PC, module I/O(2), station, request data length(2 LE,
// bytes from the timer to the end), timer(2), command(2), subcommand(2), head
// device(3 LE), device code(1), points(2 LE), write data.
// Device codes: X 9C, Y 9D, B A0, SB A1, DX A2, DY A3 (hexadecimal numbers), M 90,
// SM 91, L 92, F 93, V 94, S 98, TC C0, TS C1, CC C3, CS C4, SC C6, SS C7 (bits);
// D A8, SD A9, W B4, SW B5 (hexadecimal), R AF, ZR B0, TN C2, CN C5, SN C8, Z CC
// (words). DX and DY reach the X and Y memory.
// End codes used: C059 command or subcommand not 0401/1401 and 0000/0001;
// C061 request data length that does not fit the command (also a request too
// short to hold a command); C051 points 0 or above 960 (word units) / 7168 (bit
// units); C05C unknown device code, bit units on a word device, or bit data other
// than 0/1; C056 head device and points past the end of the device range.
// A request data length above 8192 is impossible for these commands: it is
// answered with C061 and everything received so far is dropped. A frame not
// starting with 50 00 cannot be delimited: everything received so far is dropped
// without an answer.

// Memory area (PlcMemory's code) of a device code, 0 for a code not served.
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
    case 0xC7: return PlcMemory::AreaSS;
    case 0xC6: return PlcMemory::AreaSC;
    case 0xC8: return PlcMemory::AreaSN;
    case 0xB0: return PlcMemory::AreaZR;
    default: return 0;
    }
}

// A Q CPU's default device points where they are fewer than the simulator's
// memory holds (--model q); the other devices have the memory's sizes.
int qDefaultPoints(char area)
{
    switch (area) {
    case 'M': return 8192;
    case PlcMemory::AreaSM: return 2048;
    case PlcMemory::AreaSD: return 2048;
    default: return PlcMemory::areaSize(area);
    }
}

class Mc3eHandler : public ProtocolHandler
{
public:
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
        if (ctx.model == SimModel::Q && head + span > qDefaultPoints(area)) {
            Served refused = error(0xC056);
            refused.rule = QStringLiteral("%1 %2 to %3 outside a Q CPU's default device points (%4)")
                               .arg(PlcMemory::areaName(area)).arg(head).arg(head + span - 1)
                               .arg(qDefaultPoints(area));
            return refused;
        }

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

// 4E frames: a 3E frame from the network number on behind 54 00, a serial
// number (2 bytes) and 00 00; the answer carries the same serial number behind
// D4 00 and is otherwise the 3E answer from the network number on. A frame
// not starting with 54 00 .. .. 00 00 is dropped without an answer.
class Mc4eHandler : public ProtocolHandler
{
public:
    static QByteArray to4E(const QByteArray &answer3E, const QByteArray &serial)
    {
        if (answer3E.isEmpty())
            return answer3E;
        return QByteArray("\xD4\x00", 2) + serial + QByteArray(2, 0) + answer3E.mid(2);
    }

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        const bool head = buf.size() >= 6 && buf.at(4) == 0 && buf.at(5) == 0;
        if (buf.isEmpty() || (buf.size() < 6 && buf.startsWith(QByteArray("\x54\x00", 2).left(buf.size()))))
            return s;
        if (!buf.startsWith(QByteArray("\x54\x00", 2)) || !head) {
            s.kind = Served::Discard;
            s.consumed = buf.size();
            return s;
        }
        const QByteArray serial = buf.mid(2, 2);
        Served r = m_3e.serve(QByteArray("\x50\x00", 2) + buf.mid(6), ctx);
        if (r.kind == Served::NeedMore)
            return r;
        r.consumed += 4;
        r.answer = to4E(r.answer, serial);
        if (r.refusal) {
            const auto refusal3E = r.refusal;
            r.refusal = [refusal3E, serial](int code) { return to4E(refusal3E(code), serial); };
        }
        return r;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        // The length field four bytes later than in 3E.
        if (answer.size() < 13)
            return answer;
        return answer.left(4) + m_3e.badSum(answer.mid(4));
    }

private:
    Mc3eHandler m_3e;
};

QString mc3eRequest(const QByteArray &q)
{
    const int command = logLeField(q, 11, 2), sub = logLeField(q, 13, 2), code = logLeField(q, 18, 1);
    const QString dev = logDevice(mc3eDeviceArea(code), code, logLeField(q, 15, 3));
    const QString what = command == 0x0401 ? QStringLiteral("read") : command == 0x1401 ? QStringLiteral("write")
                                                                                          : SimLog::hex(command, 4);
    return QStringLiteral("%1 %2 %3 points %4").arg(what, sub == 1 ? QStringLiteral("bits") : QStringLiteral("words"),
                                                    dev).arg(logLeField(q, 19, 2));
}

} // namespace

namespace plcsim {
namespace mc3e {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<Mc3eHandler>();
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    QString result;
    if (answer.size() >= 11)
        result = QStringLiteral("end code ") + SimLog::hex(logLeField(answer, 9, 2), 4);
    return SimLog::summary(mc3eRequest(request), answer, result);
}

QString help()
{
    return QStringLiteral(
        "mc3e: commands 0401/1401, subcommands 0000/0001, device codes X 9C, Y 9D, M 90,\n"
        "  S 98, D A8, W B4, R AF, ZR B0 (decimal numbers), SS C7, SC C6, SN C8; limits\n"
        "  960 words, 7168 bits. End codes: C059 command, C061 data length, C051 points,\n"
        "  C05C device, C056 range; a request data length\n"
        "  above 8192 gets C061 and the received bytes are dropped; bytes that do not\n"
        "  start with 50 00 are dropped without an answer. --model q: M, SM, SD past a\n"
        "  Q CPU's default points (8192, 2048, 2048) get C056.\n");
}

} // namespace mc3e

namespace mc4e {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<Mc4eHandler>();
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    QString result;
    if (answer.size() >= 15)
        result = QStringLiteral("end code ") + SimLog::hex(logLeField(answer, 13, 2), 4);
    return SimLog::summary(QStringLiteral("serial %1 ").arg(SimLog::hex(logLeField(request, 2, 2), 4))
                               + mc3eRequest(request.mid(4)),
                           answer, result);
}

QString help()
{
    return QStringLiteral(
        "mc4e: the mc3e commands, devices, limits and end codes in 4E frames: 54 00, a\n"
        "  serial number (2 bytes), 00 00, then the 3E request from the network number\n"
        "  on; the answer echoes the serial number behind D4 00. Bytes that do not start\n"
        "  with 54 00 and the 00 00 after the serial number are dropped without an answer.\n");
}

} // namespace mc4e
} // namespace plcsim
