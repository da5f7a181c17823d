#include "ExchangeEngine.h"

#include <algorithm>

namespace {

// No answer of these protocols comes near this size; a device that floods the
// line during an exchange fills the answer up to here and no further.
constexpr int MaxReceiveBytes = 1024 * 1024;
// Read at most this much in one step, so the bound above holds per step too.
constexpr int ReadStepBytes = 64 * 1024;

// Time the system gets to take a request, beyond its own line time.
constexpr int WriteAllowanceMs = 1000;

// Drops bytes before the first one that may start an answer, counting them
// against the bound of the whole exchange.
void skipNoise(QByteArray &got, const QByteArray &starts, QByteArray *noise)
{
    if (starts.isEmpty())
        return;
    int i = 0;
    while (i < got.size() && noise->size() < ExchangeEngine::MaxNoiseBytes && !starts.contains(got.at(i)))
        noise->append(got.at(i++));
    got.remove(0, i);
}

} // namespace

int ExchangeEngine::run(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule, QByteArray *answer)
{
    m_resetFailed = false;
    // A dirty link is recovered even when its medium failed: a TCP reset
    // connects anew, which is how a link held back after a failed reconnect
    // probes its PLC.
    if (m_state == State::Clean && !medium.usable())
        return NotConnected;
    if (!prepare(medium, rule)) {
        m_resetFailed = true;
        return NotConnected;
    }
    const int before = answer->size();
    const int result = collect(medium, request, rule, answer);
    // A tagged answer that never came is dropped by its tag if it comes late.
    const bool nothingCame = result == Incomplete && answer->size() == before && rule.foreign;
    m_state = result == Complete || nothingCame ? State::Clean : State::Dirty;
    return result;
}

bool ExchangeEngine::prepare(LinkMedium &medium, const AnswerRule &rule)
{
    if (m_state == State::Clean) {
        // Whatever came since the last exchange is not an answer to this one.
        medium.dropInput();
        return medium.usable();
    }
    // What of the guard (counted from the failed request, whose own line
    // times delay its late answer too) the failed exchange has not waited.
    const int guardMs = rule.guardMs + m_lastLineMs;
    const bool ok = medium.reset(int(qBound(qint64(0), guardMs - m_requestClock.elapsed(), qint64(guardMs))));
    if (ok)
        m_state = State::Clean;
    return ok;
}

int ExchangeEngine::collect(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule,
                            QByteArray *answer)
{
    m_dropped.clear();
    QElapsedTimer &clock = m_requestClock;
    clock.start();
    const int requestLineMs = medium.lineTimeMs(request.size());
    m_lastLineMs = requestLineMs + medium.lineTimeMs(rule.answerBytes);
    if (!medium.write(request, QDeadlineTimer(requestLineMs + WriteAllowanceMs)))
        return NotConnected;
    if (rule.allowanceMs <= 0 || !rule.judge)
        return Incomplete;

    // One deadline for the whole answer: the PLC's allowance plus the line time
    // of the request and of the answer. It moves on with every progress by the
    // line time of what the judge still misses, but a trickle that never
    // completes an answer ends after the line time of the longest one.
    qint64 deadlineMs = qint64(rule.allowanceMs) + m_lastLineMs;
    const qint64 lastDeadlineMs = deadlineMs + medium.lineTimeMs(4096);
    QByteArray got;
    QByteArray noise;
    int result = Incomplete;
    for (;;) {
        const qint64 waitMs = std::max<qint64>(deadlineMs - clock.elapsed(), 0);
        const LinkMedium::Wait w = medium.waitReadable(QDeadlineTimer(waitMs));
        if (w == LinkMedium::Wait::Woken) {
            result = Woken;
            break;
        }
        if (w == LinkMedium::Wait::TimedOut)
            break;
        // Readable, or lost: what came before an end of stream is still read.
        const int room = MaxReceiveBytes - got.size();
        const QByteArray bytes = room > 0 ? medium.readAvailable(std::min(room, ReadStepBytes)) : QByteArray();
        if (bytes.isEmpty() && (w == LinkMedium::Wait::Lost || medium.lost() || room <= 0))
            break;  // this request got no more; the next ones find the link gone
        got.append(bytes);
        int missing = 1;
        for (;;) {
            skipNoise(got, rule.starts, &noise);
            if (got.isEmpty())
                break;
            missing = rule.judge(got);
            const int other = missing <= 0 && rule.foreign ? std::min(rule.foreign(got), int(got.size())) : 0;
            if (other <= 0)
                break;
            // Another request's whole answer (a late one): dropped, the wait goes on.
            if (m_dropped.size() < MaxDroppedAnswers)
                m_dropped.append(got.left(other));
            got.remove(0, other);
        }
        if (got.isEmpty())
            continue;
        if (missing <= 0) {
            result = Complete;
            break;
        }
        deadlineMs = std::min(lastDeadlineMs, std::max(deadlineMs, clock.elapsed() + medium.lineTimeMs(missing)));
        if (clock.elapsed() >= deadlineMs || medium.lost())
            break;  // a device that never stops sending ends at the deadline too
    }
    // Nothing but noise: that is what came, a bad answer rather than none.
    answer->append(got.isEmpty() ? noise : got);
    return result;
}
