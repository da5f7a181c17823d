// Norvessa batch read answers (MC 3E binary): the completeness judge on every
// prefix, the end code, then the check. Input: points (two bytes), the answer.
#include "CmdNorvessa.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int lo = in.byte();
    const int points = 1 + (lo | (in.byte() << 8)) % CmdNorvessa::MaxWordPoints;
    const QByteArray answer = in.rest();
    for (int k = 0; k <= answer.size() && k <= 1024; ++k) {
        // Never more than the longest answer a request can get: the link waits
        // (on a serial line stretches its time-out) for what the judge asks.
        const int missing = CmdNorvessa::answerMissing(answer.left(k));
        FUZZ_CHECK(missing >= 0 && k + missing <= CmdNorvessa::HeaderBytes + 2 + 2 * CmdNorvessa::MaxWordPoints);
    }
    const int code = CmdNorvessa::endCode(answer);
    FUZZ_CHECK(code >= -1 && code <= 0xFFFF);
    QByteArray out("pre");
    const int rc = CmdNorvessa::parseReadAnswer(answer, points, &out);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0) {
        FUZZ_CHECK(out.size() == 3 + 2 * points);
        FUZZ_CHECK(answer.size() == CmdNorvessa::HeaderBytes + 2 + 2 * points);
        FUZZ_CHECK(code == 0);
        FUZZ_CHECK(CmdNorvessa::answerMissing(answer) == 0);
    } else {
        FUZZ_CHECK(out == "pre");
    }
    CmdNorvessa::parseReadAnswer(answer, points, nullptr);
    return 0;
}
