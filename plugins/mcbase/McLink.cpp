#include "McLink.h"

#include <algorithm>

CMcLink::CMcLink(const LinkProfile &profile, QObject *parent)
    : CLinkTransport(profile, parent)
{
}

int CMcLink::writeTimeoutMs(int byteLength) const
{
    const qint64 t = qint64(std::max(byteLength, 0)) * gapInterval() * 6;
    return int(std::min<qint64>(std::max<qint64>(t, MinWriteTimeoutMs), MaxWriteTimeoutMs));
}

int CMcLink::exchange(Kind kind, const QByteArray &request, const QString &areaText,
                      int timeoutMs, int answerBytes, const AnswerJudge &judge, QByteArray *answer)
{
    AnswerRule rule;
    rule.judge = judge;
    rule.answerBytes = answerBytes;
    rule.allowanceMs = std::max(timeoutMs, MonitoringAllowanceMs);
    rule.guardMs = MonitoringAllowanceMs;
    return tracedExchange(kind == Kind::Read ? Traced::Read : Traced::Write, request, areaText, rule,
                          answer);
}

int CMcLink::judged(int parsed, bool plcError)
{
    if (parsed != 0 && !plcError)
        rejectAnswer();
    return parsed;
}
