#include "McLink.h"

CMcLink::CMcLink(const LinkProfile &profile, QObject *parent)
    : CLinkTransport(profile, parent)
{
}

AnswerVerdict CMcLink::verdictOf(int parsed, bool plcError, int code)
{
    if (parsed == 0)
        return AnswerVerdict::data();
    // The PLC's complete error answer ends the exchange in step: the link stays clean.
    return plcError ? AnswerVerdict::refused(code) : AnswerVerdict::malformed();
}

int CMcLink::run(Op op, int deviceCode, int headDevice, int points, const QString &areaText,
                 const QByteArray &data, QByteArray *out, int pointBytes)
{
    const McRequest r = request(op, deviceCode, headDevice, points, data, pointBytes);
    if (r.bytes.isEmpty())
        return -1;
    LinkPiece p(op == Op::Read ? LinkPiece::Read : LinkPiece::Write, r.bytes, areaText, points);
    p.rule.judge = r.judge;
    p.rule.foreign = r.foreign;
    p.rule.answerBytes = r.answerBytes;
    p.rule.allowanceMs = MonitoringAllowanceMs;
    p.rule.guardMs = MonitoringAllowanceMs;
    p.parse = r.parse;
    return transact(p, out);
}

int CMcLink::read_cmd(int deviceCode, int headDevice, int byteLength, QString areaText, QByteArray *out,
                      int pointBytes)
{
    if (pointBytes != 2 && pointBytes != 4)
        return -1;
    return run(Op::Read, deviceCode, headDevice, qMax(byteLength / pointBytes, 1), areaText, QByteArray(), out,
               pointBytes);
}

int CMcLink::write_cmd(int deviceCode, int headDevice, QString areaText, QByteArray data, int pointBytes)
{
    // Whole points only.
    if (data.isEmpty() || (pointBytes != 2 && pointBytes != 4) || data.size() % pointBytes != 0)
        return -1;
    return run(Op::WordWrite, deviceCode, headDevice, data.size() / pointBytes, areaText, data, nullptr,
               pointBytes);
}

int CMcLink::write_bit_cmd(int deviceCode, int headDevice, QString areaText, QByteArray points)
{
    if (points.isEmpty())
        return -1;
    return run(Op::BitWrite, deviceCode, headDevice, points.size(), areaText, points, nullptr);
}
