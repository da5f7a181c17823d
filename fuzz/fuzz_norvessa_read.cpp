// Norvessa batch read answers (MC 3E or 4E, binary or ASCII): the variant's
// completeness judge on every prefix, its test for another request's answer,
// its 3E binary form, then the end code and the 3E check. Input: the variant
// (bit 0 4E, bit 1 ASCII), points (two bytes), the answer. The 4E serial
// number of the request is 0x0102.
#include "CmdNorvessa.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int variant = in.byte();
    const bool fourE = variant & 1, ascii = variant & 2;
    const int lo = in.byte();
    const int points = 1 + (lo | (in.byte() << 8)) % CmdNorvessa::MaxWordPoints;
    const QByteArray answer = in.rest();
    const CmdNorvessa::AnswerForm form = CmdNorvessa::answerForm(fourE, ascii, 0x0102);
    // The longest answer of a variant: ASCII doubles the binary one, 4E adds its head.
    const int longest = (CmdNorvessa::HeaderBytes + 2 + 2 * CmdNorvessa::MaxWordPoints) * (ascii ? 2 : 1)
                        + (fourE ? (ascii ? 8 : 4) : 0);
    for (int k = 0; k <= answer.size() && k <= 4096; ++k) {
        // Never more than the longest answer a request can get: the link waits
        // (on a serial line stretches its time-out) for what the judge asks.
        const int missing = form.judge(answer.left(k));
        FUZZ_CHECK(missing == 0 || (missing > 0 && k + missing <= longest));
    }
    const int other = form.foreign ? form.foreign(answer) : 0;
    FUZZ_CHECK(other >= 0 && other <= answer.size());
    const QByteArray as3E = form.to3E(answer);
    FUZZ_CHECK(other == 0 || as3E.isEmpty());
    const int code = CmdNorvessa::endCode(as3E);
    FUZZ_CHECK(code >= -1 && code <= 0xFFFF);
    QByteArray out("pre");
    const int rc = CmdNorvessa::parseReadAnswer(as3E, points, &out);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0) {
        FUZZ_CHECK(out.size() == 3 + 2 * points);
        FUZZ_CHECK(as3E.size() == CmdNorvessa::HeaderBytes + 2 + 2 * points);
        FUZZ_CHECK(code == 0);
        FUZZ_CHECK(form.judge(answer) == 0);
    } else {
        FUZZ_CHECK(out == "pre");
    }
    CmdNorvessa::parseReadAnswer(as3E, points, nullptr);
    return 0;
}
