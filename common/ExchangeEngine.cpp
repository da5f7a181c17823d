#include "ExchangeEngine.h"

#include <QIODevice>
#include <algorithm>

namespace {

// Bytes pending from an earlier raw exchange are drained in a bounded number
// of rounds, so a device that never stops sending cannot hold the caller here.
constexpr int MaxDrainRounds = 64;

// No answer of these protocols comes near this size; a device that floods the
// line during an exchange fills the answer up to here and no further.
constexpr int MaxReceiveBytes = 1024 * 1024;

// Time the system gets to take a request, beyond its own line time.
constexpr int WriteAllowanceMs = 1000;

void appendBounded(QByteArray &buffer, const QByteArray &bytes)
{
    const int room = MaxReceiveBytes - buffer.size();
    if (room > 0)
        buffer.append(bytes.constData(), std::min(room, int(bytes.size())));
}

void drain(LinkMedium &medium)
{
    medium.device()->readAll();
    for (int round = 0; round < MaxDrainRounds
         && medium.waitReadable(QDeadlineTimer(0)) == LinkMedium::Wait::Readable; ++round)
        medium.readAvailable();
}

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

int ExchangeEngine::run(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule,
                        int quietGapMs, QByteArray *answer, const std::function<void()> &lost)
{
    if (!medium.usable())
        return NotConnected;
    if (!prepare(medium, rule)) {
        if (lost)
            lost();
        return NotConnected;
    }
    const int result = collect(medium, request, rule, quietGapMs, answer);
    if (!rule.resetWhenDirty)
        m_state = State::Unsure;  // a raw exchange cannot tell where its answer ended
    else
        m_state = result == Complete ? State::Clean : State::Dirty;
    return result;
}

bool ExchangeEngine::prepare(LinkMedium &medium, const AnswerRule &rule)
{
    switch (m_state) {
    case State::Clean:
        // Only what Qt already buffered, no system call: a healthy link pays nothing.
        if (medium.device()->bytesAvailable() > 0)
            medium.device()->readAll();
        return true;
    case State::Unsure:
        drain(medium);
        return medium.usable();
    case State::Dirty:
        if (!rule.resetWhenDirty) {
            drain(medium);
            return medium.usable();
        }
        // What of the guard (counted from the failed request, whose own line
        // times delay its late answer too) the failed exchange has not waited.
        return medium.reset(int(qBound(qint64(0), rule.guardMs + m_lastLineMs - m_requestClock.elapsed(),
                                       qint64(rule.guardMs + m_lastLineMs))));
    }
    return true;
}

int ExchangeEngine::collect(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule,
                            int quietGapMs, QByteArray *answer)
{
    QElapsedTimer &clock = m_requestClock;
    clock.start();
    const int requestLineMs = medium.lineTimeMs(request.size());
    if (!medium.write(request, QDeadlineTimer(requestLineMs + WriteAllowanceMs)))
        return NotConnected;
    if (rule.allowanceMs <= 0)
        return Incomplete;

    // One deadline for the whole answer: the PLC's allowance plus the line time
    // of the request and of the answer. On a serial line it moves on with every
    // progress by the line time of what the judge still misses.
    m_lastLineMs = requestLineMs + medium.lineTimeMs(rule.answerBytes);
    qint64 deadlineMs = qint64(rule.allowanceMs) + m_lastLineMs;
    const bool serial = quietGapMs > 0;
    QByteArray got;
    QByteArray noise;
    int result = Incomplete;
    for (;;) {
        qint64 waitMs = deadlineMs - clock.elapsed();
        const bool gapRule = !rule.judge && serial && !got.isEmpty();
        if (gapRule)
            waitMs = std::min<qint64>(std::max<qint64>(waitMs, 0), quietGapMs);
        const LinkMedium::Wait w = medium.waitReadable(QDeadlineTimer(std::max<qint64>(waitMs, 0)));
        if (w == LinkMedium::Wait::Lost)
            break;  // this request got no answer; the next ones find the link gone
        if (w == LinkMedium::Wait::TimedOut) {
            // Without a judge a quiet gap ends a serial answer.
            if (gapRule)
                result = Complete;
            break;
        }
        appendBounded(got, medium.readAvailable());
        skipNoise(got, rule.starts, &noise);
        if (got.isEmpty())
            continue;
        if (!rule.judge) {
            if (!serial) {
                result = Complete;  // first bytes win: the frame code checks the rest
                break;
            }
            continue;
        }
        const int missing = rule.judge(got);
        if (missing <= 0) {
            result = Complete;
            break;
        }
        if (serial)
            deadlineMs = std::max(deadlineMs, clock.elapsed() + medium.lineTimeMs(missing) + quietGapMs);
        if (clock.elapsed() >= deadlineMs)
            break;  // a device that never stops sending ends at the deadline too
    }
    // Nothing but noise: that is what came, a bad answer rather than none.
    answer->append(got.isEmpty() ? noise : got);
    return result;
}
