// Norvessa write answers (MC 3E or 4E, binary or ASCII; word-unit and bit-unit
// batch writes get the same answer form): the variant's completeness judge on
// every prefix, its 3E binary form, then the 3E check. Input: the variant (bit
// 0 4E, bit 1 ASCII), the answer. The 4E serial number of the request is 0x0102.
#include "CmdNorvessa.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int variant = in.byte();
    const bool fourE = variant & 1, ascii = variant & 2;
    const QByteArray answer = in.rest();
    const CmdNorvessa::AnswerForm form = CmdNorvessa::answerForm(fourE, ascii, 0x0102);
    const int longest = (CmdNorvessa::HeaderBytes + 2 + 2 * CmdNorvessa::MaxWordPoints) * (ascii ? 2 : 1)
                        + (fourE ? (ascii ? 8 : 4) : 0);
    for (int k = 0; k <= answer.size() && k <= 4096; ++k) {
        // Never more than the longest answer a request can get: the link waits
        // (on a serial line stretches its time-out) for what the judge asks.
        const int missing = form.judge(answer.left(k));
        FUZZ_CHECK(missing == 0 || (missing > 0 && k + missing <= longest));
    }
    const QByteArray as3E = form.to3E(answer);
    const int rc = CmdNorvessa::parseWriteAnswer(as3E);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0)
        FUZZ_CHECK(as3E.size() == CmdNorvessa::HeaderBytes + 2 && CmdNorvessa::endCode(as3E) == 0
                   && form.judge(answer) == 0);
    return 0;
}
