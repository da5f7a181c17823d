#include "CmdNorvessa.h"
#include "McFrame.h"

namespace {

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
    return r;
}
