#include "SimLog.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace {

// Started when the program is loaded: the log's times count from the start.
const QElapsedTimer g_start = [] {
    QElapsedTimer t;
    t.start();
    return t;
}();

const char STX = 0x02, ACK = 0x06, NAK = 0x15;

QString answerText(const QByteArray &a)
{
    if (a.at(0) == ACK)
        return QStringLiteral("ACK");
    if (a.at(0) == NAK)
        return a.size() >= 7 ? QStringLiteral("NAK ") + QString::fromLatin1(a.mid(5, 2)) : QStringLiteral("NAK");
    if (a.at(0) == STX)
        return QStringLiteral("STX %1 bytes").arg(a.size());
    return QStringLiteral("%1 bytes").arg(a.size());
}

} // namespace

namespace SimLog {

void line(const QString &text)
{
    static QMutex lock;
    QMutexLocker l(&lock);
    const QByteArray out = QStringLiteral("%1 ms  ").arg(g_start.elapsed(), 7).toLocal8Bit() + text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", out.constData());
    std::fflush(stderr);
}

QString summary(const QString &what, const QByteArray &answer, const QString &result)
{
    QString r = result;
    if (answer.isEmpty())
        r = QStringLiteral("no answer");
    else if (r.isEmpty())
        r = answerText(answer);
    return what + QStringLiteral(" -> ") + r;
}

QString hex(int v, int digits)
{
    return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace SimLog
