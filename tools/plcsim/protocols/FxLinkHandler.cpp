// FX computer link, dedicated protocol format 1 with sum check, as the PLC
// answers it.
#include "Fx3uRules.h"
#include "FxAscii.h"
#include "PlcMemory.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

#include <QMutexLocker>
#include <QVector>

PLCSIM_PROTOCOL_FILE(fxlink)

namespace {

using namespace plcsim::fx;

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
        // An FX3U (--model fx3u) serves C200-C255 as 32-bit values: 8 digits
        // a point, the most significant first.
        const bool fx3u = ctx.model == SimModel::Fx3u;
        const bool counters32 = fx3u && words && head.mid(8, 2) == "CN" && head.mid(10, 3) >= "200";
        const int digits = counters32 ? 8 : 4;
        const int dataLen = !write ? 0 : (words ? digits * points : points);
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
        const QString rule = fx3u ? plcsim::fx3u::deviceRule(letter, number, span) : QString();
        if (!rule.isEmpty()) {
            Served refused = answerOnly(frameLen, AreaError);
            refused.rule = rule;
            return refused;
        }
        if (points > limit || !PlcMemory::inRange(letter, number, span)
            || (number + span > device->end && !counters32))
            return answerOnly(frameLen, AreaError);

        PlcMemory *mem = ctx.memory;
        Served r;
        r.kind = Served::Request;
        r.consumed = frameLen;
        r.normal = true;
        r.refusal = [stationText, pcText](int code) { return nakAnswer(stationText, pcText, code < 0 ? SumError : code); };
        if (write) {
            QVector<quint32> values(points);
            for (int i = 0; i < points; ++i) {
                if (counters32) {
                    const int high = hexField(head, 15 + 8 * i, 4);
                    const int low = hexField(head, 19 + 8 * i, 4);
                    if (high < 0 || low < 0)
                        return answerOnly(frameLen, CharError);
                    values[i] = quint32(high) << 16 | quint32(low);
                } else if (words) {
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
            r.commit = [mem, letter, number, words, bitDevice, counters32, values] {
                QMutexLocker l(&mem->lock());
                for (int i = 0; i < values.size(); ++i) {
                    if (counters32)
                        mem->setCounter32(number + i, values.at(i));
                    else if (!words)
                        mem->setBit(letter, number + i, values.at(i) != 0);
                    else if (bitDevice)
                        mem->setBitWord(letter, number + 16 * i, quint16(values.at(i)));
                    else
                        mem->setWord(letter, number + i, quint16(values.at(i)));
                }
            };
            return r;
        }
        QByteArray answer(1, STX);
        answer += stationText + pcText;
        {
            QMutexLocker l(&mem->lock());
            for (int i = 0; i < points; ++i) {
                if (counters32)
                    answer += hexText(mem->counter32(number + i), 8);
                else if (!words)
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

QString fxLinkRequest(const QByteArray &q)
{
    return QStringLiteral("station %1 %2 %3 points %4")
        .arg(QString::fromLatin1(q.mid(1, 2)), QString::fromLatin1(q.mid(5, 2)), QString::fromLatin1(q.mid(8, 5)))
        .arg(logHexField(q, 13, 2));
}

} // namespace

namespace plcsim {
namespace fxlink {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<FxLinkHandler>();
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    return SimLog::summary(fxLinkRequest(request), answer);
}

QString help()
{
    return QStringLiteral(
        "fxlink: commands WR, WW, BR, BW on X, Y (octal), M, S, D; points \"00\" = 256;\n"
        "  limits WR 64 words (32 on bit devices), WW 64 (10), BR 256, BW 160. NAK codes:\n"
        "  02 sum error, 03 unknown command, 06 device/range/limit, 07 bad character,\n"
        "  0A PC number not FF. The message wait digit is accepted but not applied.\n"
        "  Frames for other stations are skipped whole, without an answer. --model fx3u:\n"
        "  FX3U ranges (else 06), CN200-CN255 32-bit (8 digits a point, at most 32).\n");
}

} // namespace fxlink
} // namespace plcsim
