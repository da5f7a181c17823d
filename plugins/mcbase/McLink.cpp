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
                      int timeoutMs, const AnswerJudge &judge, QByteArray *answer)
{
    if (Connection_status() == -3)
        return -3;

    const QString prefix = profile().tracePrefix;
    const QString peer = peerAddressText();
    const QString port = QString::number(peerPort());
    auto line = [&](const char *what, const QByteArray &bytes) {
        traceLine(prefix + QString::fromUtf8(what)
                  + QStringLiteral(" %1:%2 Area=%3  msg : %4").arg(peer, port, areaText, hex(bytes)));
    };

    if (kind == Kind::Read)
        line("读命令", request);
    const int sent = SendData(request, *answer, timeoutMs, judge);
    if (kind == Kind::Write)
        line("写命令", request);
    line("响应", *answer);

    if (answer->isEmpty())
        return -2;
    return sent == 0 ? 0 : -1;
}
