#include "CmdNorvessa.h"
#include "McFrame.h"
#include "NorvessaForms.h"

namespace {

// One row per device: name, 3E device code, number base, bit device, read only.
// Numbers are hexadecimal for X, Y, B, W, SB, SW, DX, DY and decimal for the
// rest, as the PLC writes them. Timer and counter contacts and coils (TS, TC,
// SS, SC, CS, CC) are read only. ZR is numbered in decimal, as the engineering
// tools show it; binary frames carry that number.
const McDeviceArea NorvessaAreas[] = {
    {"X", CmdNorvessa::CodeX, 16, true, false},
    {"Y", CmdNorvessa::CodeY, 16, true, false},
    {"M", CmdNorvessa::CodeM, 10, true, false},
    {"D", CmdNorvessa::CodeD, 10, false, false},
    {"W", CmdNorvessa::CodeW, 16, false, false},
    {"R", CmdNorvessa::CodeR, 10, false, false},
    {"SM", 0x91, 10, true, false},
    {"L", 0x92, 10, true, false},
    {"F", 0x93, 10, true, false},
    {"V", 0x94, 10, true, false},
    {"B", 0xA0, 16, true, false},
    {"SB", 0xA1, 16, true, false},
    {"DX", 0xA2, 16, true, false},
    {"DY", 0xA3, 16, true, false},
    {"TS", 0xC1, 10, true, true},
    {"TC", 0xC0, 10, true, true},
    {"CS", 0xC4, 10, true, true},
    {"CC", 0xC3, 10, true, true},
    {"SD", 0xA9, 10, false, false},
    {"SW", 0xB5, 16, false, false},
    {"TN", 0xC2, 10, false, false},
    {"CN", 0xC5, 10, false, false},
    {"Z", 0xCC, 10, false, false},
    {"S", 0x98, 10, true, false},
    {"SS", 0xC7, 10, true, true},
    {"SC", 0xC6, 10, true, true},
    {"SN", 0xC8, 10, false, false},
    {"ZR", CmdNorvessa::CodeZR, 10, false, false},
};

const McDeviceTable NorvessaTable = {NorvessaAreas, int(sizeof(NorvessaAreas) / sizeof(NorvessaAreas[0]))};

LinkProfile norvessaProfile()
{
    return LinkProfile::of(QStringLiteral("Norvessa"), false, true);
}

constexpr quint16 CmdBatchRead = 0x0401;
constexpr quint16 CmdBatchWrite = 0x1401;
constexpr quint16 SubWordUnits = 0x0000;
constexpr quint16 SubBitUnits = 0x0001;
constexpr quint16 MonitoringTimer = 10;  // x 250 ms

// Everything up to and including the request data length, then the monitoring
// timer, command and subcommand, head device and device code.
QByteArray requestHead(quint16 command, quint16 subcommand, int deviceCode, int headDevice,
                       int bodyBytes)
{
    QByteArray f;
    f.reserve(21 + bodyBytes);
    f.append(char(0x50)).append(char(0x00));  // subheader
    f.append(char(0x00));                     // network number
    f.append(char(0xFF));                     // PC number
    McFrame::appendLe(f, 0x03FF, 2);          // module I/O number
    f.append(char(0x00));                     // module station number
    McFrame::appendLe(f, quint32(12 + bodyBytes), 2);
    McFrame::appendLe(f, MonitoringTimer, 2);
    McFrame::appendLe(f, command, 2);
    McFrame::appendLe(f, subcommand, 2);
    McFrame::appendLe(f, quint32(headDevice) & 0xFFFFFF, 3);
    f.append(char(deviceCode & 0xFF));
    return f;
}

} // namespace

CmdNorvessa::CmdNorvessa(QObject *parent) : CMcLink(norvessaProfile(), parent)
{
}

const McDeviceTable &CmdNorvessa::devices()
{
    return NorvessaTable;
}

QByteArray CmdNorvessa::buildReadRequest(int deviceCode, int headDevice, int points)
{
    QByteArray f = requestHead(CmdBatchRead, SubWordUnits, deviceCode, headDevice, 0);
    McFrame::appendLe(f, quint32(points) & 0xFFFF, 2);
    return f;
}

QByteArray CmdNorvessa::buildWordWriteRequest(int deviceCode, int headDevice,
                                              const QByteArray &data)
{
    QByteArray f = requestHead(CmdBatchWrite, SubWordUnits, deviceCode, headDevice, data.size());
    McFrame::appendLe(f, quint32(data.size() / 2) & 0xFFFF, 2);
    f.append(data);
    return f;
}

QByteArray CmdNorvessa::buildBitWriteRequest(int deviceCode, int headDevice,
                                             const QByteArray &points)
{
    const QByteArray packed = McFrame::packBitNibbles(points);
    QByteArray f = requestHead(CmdBatchWrite, SubBitUnits, deviceCode, headDevice, packed.size());
    McFrame::appendLe(f, quint32(points.size()) & 0xFFFF, 2);
    f.append(packed);
    return f;
}

namespace {

// The longest response data a request of this link can get: end code and the
// data of a full word-unit read.
constexpr qint64 MaxResponseDataLength = 2 + 2 * qint64(CmdNorvessa::MaxWordPoints);

} // namespace

int CmdNorvessa::answerMissing(const QByteArray &soFar)
{
    if (soFar.size() < HeaderBytes)
        return HeaderBytes - soFar.size();
    // A length field no answer of this link can have (line noise) is judged at
    // once rather than waited on: read from noise it can announce up to 64 KiB,
    // which on a serial line would stretch the wait by seconds of line time.
    const qint64 length = McFrame::readLe(soFar, 7, 2);
    if (length > MaxResponseDataLength)
        return 0;
    const int total = HeaderBytes + int(length);
    return soFar.size() >= total ? 0 : total - soFar.size();
}

int CmdNorvessa::endCode(const QByteArray &answer)
{
    return int(McFrame::readLe(answer, HeaderBytes, 2));
}

namespace {

// A whole answer: its length is the header plus what its length field says.
bool complete(const QByteArray &answer, qint64 *dataLength)
{
    *dataLength = McFrame::readLe(answer, 7, 2);
    return *dataLength >= 2 && answer.size() == CmdNorvessa::HeaderBytes + *dataLength;
}

} // namespace

int CmdNorvessa::parseReadAnswer(const QByteArray &answer, int points, QByteArray *data)
{
    qint64 length = 0;
    if (points <= 0 || !complete(answer, &length) || endCode(answer) != 0)
        return -1;
    if (length != 2 + 2 * qint64(points))
        return -1;
    if (data)
        data->append(answer.constData() + HeaderBytes + 2, int(length) - 2);
    return 0;
}

int CmdNorvessa::parseWriteAnswer(const QByteArray &answer)
{
    qint64 length = 0;
    if (!complete(answer, &length) || length != 2 || endCode(answer) != 0)
        return -1;
    return 0;
}

bool CmdNorvessa::isErrorAnswer(const QByteArray &answer)
{
    qint64 length = 0;
    return complete(answer, &length) && length == ErrorDataLength && quint8(answer.at(0)) == 0xD0
           && answer.at(1) == 0 && endCode(answer) != 0;
}

CMcLink::McRequest CmdNorvessa::request(Op op, int deviceCode, int headDevice, int points,
                                        const QByteArray &data, int pointBytes) const
{
    McRequest r;
    // Word units only: 3E frames are not sent with 4-byte points.
    if (pointBytes != 2)
        return r;
    r.judge = &CmdNorvessa::answerMissing;
    r.answerBytes = 11;
    switch (op) {
    case Op::Read:
        r.bytes = buildReadRequest(deviceCode, headDevice, points);
        r.answerBytes = 11 + 2 * points;
        r.parse = [points](const QByteArray &answer, QByteArray *out) {
            return verdictOf(parseReadAnswer(answer, points, out), isErrorAnswer(answer), endCode(answer));
        };
        toFrameForm(&r, deviceCode);
        return r;
    case Op::WordWrite:
        if (points <= MaxWordPoints)
            r.bytes = buildWordWriteRequest(deviceCode, headDevice, data);
        break;
    case Op::BitWrite:
        if (points <= MaxBitPoints)
            r.bytes = buildBitWriteRequest(deviceCode, headDevice, data);
        break;
    }
    r.parse = [](const QByteArray &answer, QByteArray *) {
        return verdictOf(parseWriteAnswer(answer), isErrorAnswer(answer), endCode(answer));
    };
    toFrameForm(&r, deviceCode);
    return r;
}

void CmdNorvessa::setFrameForm(bool fourE, bool ascii)
{
    m_fourE = fourE;
    m_ascii = ascii;
}

CmdNorvessa::AnswerForm CmdNorvessa::answerForm(bool fourE, bool ascii, quint16 serial)
{
    using namespace NorvessaForms;
    AnswerForm f;
    if (fourE && ascii) {
        f.judge = &answerMissing4EAscii;
        f.foreign = [serial](const QByteArray &answer) { return foreign4EAscii(answer, serial); };
        f.to3E = [serial](const QByteArray &answer) { return answer3EOf4EAscii(answer, serial); };
    } else if (fourE) {
        f.judge = &answerMissing4E;
        f.foreign = [serial](const QByteArray &answer) { return foreign4E(answer, serial); };
        f.to3E = [serial](const QByteArray &answer) { return answer3EOf4E(answer, serial); };
    } else {
        f.judge = ascii ? AnswerJudge(&answerMissingAscii) : AnswerJudge(&CmdNorvessa::answerMissing);
        f.to3E = ascii ? std::function<QByteArray(const QByteArray &)>(&answer3EOfAscii)
                       : [](const QByteArray &answer) { return answer; };
    }
    return f;
}

int CmdNorvessa::asciiBase(int deviceCode)
{
    const McDeviceArea *area = devices().byCode(deviceCode);
    return area && (area->base == 16 || deviceCode == CodeZR) ? 16 : 10;
}

int CmdNorvessa::highestDevice(int deviceCode) const
{
    return m_ascii && asciiBase(deviceCode) == 10 ? 999999 : McMaxDeviceNumber;
}

void CmdNorvessa::toFrameForm(McRequest *r, int deviceCode) const
{
    using namespace NorvessaForms;
    if ((!m_fourE && !m_ascii) || r->bytes.isEmpty())
        return;
    const quint16 serial = m_fourE ? m_serial++ : 0;
    if (m_ascii) {
        const McDeviceArea *area = devices().byCode(deviceCode);
        r->bytes = requestAscii(r->bytes, area ? area->name : "", asciiBase(deviceCode));
        r->answerBytes *= 2;
    }
    if (m_fourE) {
        r->bytes = m_ascii ? request4EAscii(r->bytes, serial) : request4E(r->bytes, serial);
        r->answerBytes += m_ascii ? Head4EAscii - 4 : Head4E - 2;
    }
    const AnswerForm form = answerForm(m_fourE, m_ascii, serial);
    r->judge = form.judge;
    r->foreign = form.foreign;
    const auto to3E = form.to3E;
    // Read back in the 3E binary form; an answer in another variant is malformed.
    const auto parse3E = r->parse;
    r->parse = [parse3E, to3E](const QByteArray &answer, QByteArray *out) {
        const QByteArray as3E = to3E(answer);
        return as3E.isEmpty() ? AnswerVerdict::malformed() : parse3E(as3E, out);
    };
}
