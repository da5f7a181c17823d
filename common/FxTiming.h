#pragma once
// Answer timing of the two FX links (programming port, computer link).
namespace FxTiming {
// The PLC's own time to answer: it answers at the end of its scan. The link
// adds the line times of request and answer.
constexpr int AnswerMs = 350;
// On a serial line the next request after a failed one waits until this long
// after the failed request, and for a quiet line, so a late answer has passed.
constexpr int GuardMs = 1500;
} // namespace FxTiming
