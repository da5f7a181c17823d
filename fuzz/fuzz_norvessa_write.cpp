// Norvessa write answers (MC 3E binary; word-unit and bit-unit batch writes get
// the same answer form): the completeness judge on every prefix, then the check.
#include "CmdNorvessa.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const QByteArray answer = in.rest();
    for (int k = 0; k <= answer.size() && k <= 1024; ++k) {
        // Never more than the longest answer a request can get: the link waits
        // (on a serial line stretches its time-out) for what the judge asks.
        const int missing = CmdNorvessa::answerMissing(answer.left(k));
        FUZZ_CHECK(missing >= 0 && k + missing <= CmdNorvessa::HeaderBytes + 2 + 2 * CmdNorvessa::MaxWordPoints);
    }
    const int rc = CmdNorvessa::parseWriteAnswer(answer);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0)
        FUZZ_CHECK(answer.size() == CmdNorvessa::HeaderBytes + 2 && CmdNorvessa::endCode(answer) == 0);
    return 0;
}
