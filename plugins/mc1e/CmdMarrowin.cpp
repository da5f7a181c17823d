#include "CmdMarrowin.h"
#include "McFrame.h"

namespace {

LinkProfile marrowinProfile()
{
    return LinkProfile::of(QStringLiteral("Marrowin"), false, true);
}

constexpr quint16 MonitoringTimer = 10;  // x 250 ms

QByteArray requestHead(int subheader, int deviceCode, int headDevice, int points, int dataBytes)
{
    QByteArray f;
    f.reserve(12 + dataBytes);
    f.append(char(subheader));
    f.append(char(0xFF));  // PC number
    McFrame::appendLe(f, MonitoringTimer, 2);
    McFrame::appendLe(f, quint32(headDevice) & 0xFFFFFF, 4);
    McFrame::appendLe(f, quint32(deviceCode) & 0xFFFF, 2);
    f.append(char(points & 0xFF));
    f.append(char(0x00));
    return f;
}

} // namespace

CmdMarrowin::CmdMarrowin(QObject *parent) : CMcLink(marrowinProfile(), parent)
{
}

QByteArray CmdMarrowin::buildReadRequest(int deviceCode, int headDevice, int points)
{
    return requestHead(WordRead, deviceCode, headDevice, points, 0);
}

QByteArray CmdMarrowin::buildWordWriteRequest(int deviceCode, int headDevice, const QByteArray &data,
                                              int pointBytes)
{
    QByteArray f = requestHead(WordWrite, deviceCode, headDevice, data.size() / pointBytes, data.size());
    f.append(data);
    return f;
}

QByteArray CmdMarrowin::buildBitWriteRequest(int deviceCode, int headDevice, const QByteArray &points)
{
    const QByteArray packed = McFrame::packBitNibbles(points);
    QByteArray f = requestHead(BitWrite, deviceCode, headDevice, points.size(), packed.size());
    f.append(packed);
    return f;
}

int CmdMarrowin::answerMissing(const QByteArray &soFar, int normalLength)
{
    if (soFar.size() < 2)
        return 2 - soFar.size();
    const int code = quint8(soFar.at(1));
    int total = 2;
    if (code == 0)
        total = normalLength > 2 ? normalLength : 2;
    else if (code == CodeWithAbnormalByte)
        total = 3;
    return soFar.size() >= total ? 0 : total - soFar.size();
}

int CmdMarrowin::parseReadAnswer(const QByteArray &answer, int points, QByteArray *data, int pointBytes)
{
    if (points <= 0 || points > MaxPoints || answer.size() != 2 + pointBytes * points)
        return -1;
    if (quint8(answer.at(0)) != (WordRead | 0x80) || answer.at(1) != 0)
        return -1;
    if (data)
        data->append(answer.constData() + 2, answer.size() - 2);
    return 0;
}

int CmdMarrowin::parseWriteAnswer(const QByteArray &answer, int subheader)
{
    if (answer.size() != 2)
        return -1;
    if (quint8(answer.at(0)) != ((subheader | 0x80) & 0xFF) || answer.at(1) != 0)
        return -1;
    return 0;
}

bool CmdMarrowin::isErrorAnswer(const QByteArray &answer, int subheader)
{
    if (answer.size() < 2 || quint8(answer.at(0)) != ((subheader | 0x80) & 0xFF) || answer.at(1) == 0)
        return false;
    return answer.size() == (quint8(answer.at(1)) == CodeWithAbnormalByte ? 3 : 2);
}

CMcLink::McRequest CmdMarrowin::request(Op op, int deviceCode, int headDevice, int points,
                                        const QByteArray &data, int pointBytes) const
{
    McRequest r;
    // More points than the point field holds would wrap to a smaller request.
    if (points > MaxPoints)
        return r;
    int subheader = WordRead;
    int normal = 2;
    switch (op) {
    case Op::Read:
        r.bytes = buildReadRequest(deviceCode, headDevice, points);
        normal = 2 + pointBytes * points;
        break;
    case Op::WordWrite:
        subheader = WordWrite;
        r.bytes = buildWordWriteRequest(deviceCode, headDevice, data, pointBytes);
        break;
    case Op::BitWrite:
        subheader = BitWrite;
        r.bytes = buildBitWriteRequest(deviceCode, headDevice, data);
        break;
    }
    r.answerBytes = normal;
    r.judge = [normal](const QByteArray &soFar) { return answerMissing(soFar, normal); };
    r.parse = [op, points, subheader, pointBytes](const QByteArray &answer, QByteArray *out) {
        const int parsed = op == Op::Read ? parseReadAnswer(answer, points, out, pointBytes)
                                          : parseWriteAnswer(answer, subheader);
        return verdictOf(parsed, isErrorAnswer(answer, subheader), answer.size() > 1 ? quint8(answer.at(1)) : -1);
    };
    return r;
}
