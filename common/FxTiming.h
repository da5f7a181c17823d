#pragma once
// Answer timing of the two FX links (programming port, computer link).

#include "ExchangeEngine.h"

namespace FxTiming {
// The PLC's own time to answer: it answers at the end of its scan. The link
// adds the line times of request and answer.
constexpr int AnswerMs = 350;
// On a serial line the next request after a failed one waits until this long
// after the failed request, and for a quiet line, so a late answer has passed.
constexpr int GuardMs = 1500;

// The rule of an FX answer of normally `answerBytes` bytes whose first byte is
// one of `starts`: a converter's power-up byte or a turnaround glitch before
// it is line noise.
inline AnswerRule rule(int answerBytes, const AnswerJudge &judge, const QByteArray &starts)
{
    AnswerRule r;
    r.judge = judge;
    r.answerBytes = answerBytes;
    r.starts = starts;
    r.allowanceMs = AnswerMs;
    r.guardMs = GuardMs;
    return r;
}
} // namespace FxTiming
