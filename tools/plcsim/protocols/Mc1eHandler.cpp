// MC protocol, binary 1E frames, as the PLC answers them.
#include "Fx3uRules.h"
#include "McBinary.h"
#include "PlcMemory.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

#include <QMutexLocker>
#include <QVector>

PLCSIM_PROTOCOL_FILE(mc1e)

namespace {

using namespace plcsim::mc;

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

// Memory area (PlcMemory's code) of a device code, 0 for a code not served.
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

// What an FX3U-class 1E interface refuses (--model fx3u): devices it has not
// (completion code 0x56), more points than it takes (0x57), word-unit heads of
// bit devices off a multiple of 16 and points outside its ranges (0x58).
QString fx3uRule(int sub, char area, quint32 head, int points, int *code)
{
    const bool wordUnits = sub == 0x01 || sub == 0x03;
    const bool bitDevice = PlcMemory::isBitArea(area);
    static const int limits[4] = {256, 64, 160, 64};
    const int limit = wordUnits && bitDevice ? (sub == 0x01 ? 32 : 10) : limits[sub & 3];
    *code = 0x56;
    if (!plcsim::fx3u::hasDevice(area))
        return plcsim::fx3u::deviceRule(area, 0, 1);
    *code = 0x57;
    if (points > limit)
        return QStringLiteral("more than %1 points in one request").arg(limit);
    *code = 0x58;
    if (wordUnits && bitDevice && head % 16 != 0)
        return QStringLiteral("word-unit head of a bit device not a multiple of 16");
    const int first = int(qMin<quint32>(head, 0x7FFFFFFF));
    return plcsim::fx3u::deviceRule(area, first, wordUnits && bitDevice ? 16 * points : points);
}

class Mc1eHandler : public ProtocolHandler
{
public:
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
        const quint32 head = quint32(quint8(buf.at(4))) | quint32(quint8(buf.at(5))) << 8
            | quint32(quint8(buf.at(6))) << 16 | quint32(quint8(buf.at(7))) << 24;
        const char letter = mc1eDeviceArea(le16(buf, 8));
        // An FX3U's 32-bit counters are 4 bytes a point in word units.
        const bool fx3u = ctx.model == SimModel::Fx3u;
        const bool counters32 = fx3u && (sub == 0x01 || sub == 0x03) && head <= 0xFFFF
            && plcsim::fx3u::isCounter32(letter, int(head));
        const int pointBytes = counters32 ? 4 : 2;
        const int dataLen = sub == 0x02 ? (points + 1) / 2 : sub == 0x03 ? pointBytes * points : 0;
        const int frameLen = 12 + dataLen;
        if (buf.size() < frameLen)
            return s;
        if (quint8(buf.at(1)) != 0xFF)
            return error(frameLen, 0x5B);
        if (buf.at(11) != 0)
            return error(frameLen, 0x50);
        if (!letter)
            return error(frameLen, 0x56);
        const bool bitUnits = sub == 0x00 || sub == 0x02;
        const bool bitDevice = PlcMemory::isBitArea(letter);
        if (bitUnits && !bitDevice)
            return error(frameLen, 0x56);
        if (fx3u) {
            int code = 0;
            const QString rule = fx3uRule(sub, letter, head, points, &code);
            if (!rule.isEmpty()) {
                Served refused = error(frameLen, code);
                refused.rule = rule;
                return refused;
            }
        }
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
            if (counters32) {
                QMutexLocker l(&mem->lock());  // one request, one moment
                for (int i = 0; i < points; ++i) {
                    const quint32 v = mem->counter32(int(head) + i);
                    putLe16(&answer, quint16(v & 0xFFFF));
                    putLe16(&answer, quint16(v >> 16));
                }
                break;
            }
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
            if (counters32) {
                const QByteArray data = buf.mid(12, dataLen);
                r.commit = [mem, head, data] {
                    QMutexLocker l(&mem->lock());
                    for (int i = 0; i + 4 <= data.size(); i += 4)
                        mem->setCounter32(int(head) + i / 4, le16(data, i) | quint32(le16(data, i + 2)) << 16);
                };
                break;
            }
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

QString mc1eRequest(const QByteArray &q)
{
    static const char *const names[] = {"bit read", "word read", "bit write", "word write"};
    const int sub = q.isEmpty() ? -1 : uchar(q.at(0));
    const QString command =
        sub >= 0 && sub < 4 ? QLatin1String(names[sub]) : QStringLiteral("subheader ") + SimLog::hex(sub, 2);
    const int code = logLeField(q, 8, 2);
    const int points = logLeField(q, 10, 1);
    return QStringLiteral("%1 %2 points %3").arg(command, logDevice(mc1eDeviceArea(code), code, logLeField(q, 4, 4)))
        .arg(points == 0 ? 256 : points);
}

} // namespace

namespace plcsim {
namespace mc1e {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<Mc1eHandler>();
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    QString result;
    if (answer.size() >= 2)
        result = QStringLiteral("completion code ") + SimLog::hex(uchar(answer.at(1)), 2);
    return SimLog::summary(mc1eRequest(request), answer, result);
}

QString help()
{
    return QStringLiteral(
        "mc1e: subheaders 00-03 on X, Y (hexadecimal), M, S, D, W, R, up to 256 points.\n"
        "  Completion codes: 50 bad subheader (the received bytes are dropped), 56 bad\n"
        "  device code, bit units on a word device or bit data other than 0/1, 58 out\n"
        "  of range, 5B + abnormal code 10 PC number not FF. --model fx3u: FX3U devices\n"
        "  and ranges only (else 56 / 58), FX3U-interface limits (57), word-unit heads of\n"
        "  bit devices at multiples of 16 (58), C200-C255 32-bit, 4 bytes a point.\n");
}

} // namespace mc1e
} // namespace plcsim
