#include "CmdMarrowin.h"
#include "McFrame.h"

namespace {

LinkProfile marrowinProfile()
{
    return LinkProfile::of(QStringLiteral("Marrowin"), LinkProfile::McSend, false, false);
}

constexpr quint16 MonitoringTimer = 10;  // x 250 ms

QByteArray request(int subheader, int deviceCode, int headDevice, int points, int dataBytes)
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
    return request(WordRead, deviceCode, headDevice, points, 0);
}

QByteArray CmdMarrowin::buildWordWriteRequest(int deviceCode, int headDevice, const QByteArray &data)
{
    QByteArray f = request(WordWrite, deviceCode, headDevice, data.size() / 2, data.size());
    f.append(data);
    return f;
}

QByteArray CmdMarrowin::buildBitWriteRequest(int deviceCode, int headDevice, const QByteArray &points)
{
    const QByteArray packed = McFrame::packBitNibbles(points);
    QByteArray f = request(BitWrite, deviceCode, headDevice, points.size(), packed.size());
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

int CmdMarrowin::parseReadAnswer(const QByteArray &answer, int points, QByteArray *data)
{
    if (points <= 0 || points > MaxPoints || answer.size() != 2 + 2 * points)
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

int CmdMarrowin::read_cmd(int deviceCode, int headDevice, int byteLength, QString areaText,
                          QByteArray *out)
{
    const int points = byteLength / 2 > 0 ? byteLength / 2 : 1;
    // More than the point field holds would wrap to a smaller read.
    if (points > MaxPoints)
        return -1;
    const QByteArray req = buildReadRequest(deviceCode, headDevice, points);
    const int normal = 2 + 2 * points;
    QByteArray answer;
    const int rc = exchange(Kind::Read, req, areaText, ReadTimeoutMs, normal,
                            [normal](const QByteArray &soFar) { return answerMissing(soFar, normal); },
                            &answer);
    if (rc != 0)
        return rc;
    return judged(parseReadAnswer(answer, points, out), isErrorAnswer(answer, WordRead));
}

int CmdMarrowin::write_cmd(int deviceCode, int headDevice, int byteLength, QString areaText,
                           QByteArray data)
{
    if (data.isEmpty() || data.size() % 2 != 0 || data.size() / 2 > MaxPoints)
        return -1;
    const QByteArray req = buildWordWriteRequest(deviceCode, headDevice, data);
    QByteArray answer;
    const int rc = exchange(Kind::Write, req, areaText, writeTimeoutMs(byteLength), 2,
                            [](const QByteArray &soFar) { return answerMissing(soFar, 2); },
                            &answer);
    if (rc != 0)
        return rc;
    return judged(parseWriteAnswer(answer, WordWrite), isErrorAnswer(answer, WordWrite));
}

int CmdMarrowin::write_bit_cmd(int deviceCode, int headDevice, QString areaText, QByteArray points)
{
    if (points.isEmpty() || points.size() > MaxPoints)
        return -1;
    const QByteArray req = buildBitWriteRequest(deviceCode, headDevice, points);
    QByteArray answer;
    const int rc = exchange(Kind::Write, req, areaText, writeTimeoutMs((points.size() + 1) / 2), 2,
                            [](const QByteArray &soFar) { return answerMissing(soFar, 2); },
                            &answer);
    if (rc != 0)
        return rc;
    return judged(parseWriteAnswer(answer, BitWrite), isErrorAnswer(answer, BitWrite));
}
