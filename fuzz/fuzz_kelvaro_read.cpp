// Kelvaro read answers (programming port, commands 0 and E00): the completeness
// judge on every prefix as the link grows the answer, then the answer check.
// Input: N (data bytes asked for), then the answer bytes.
#include "CmdMitsubishi_FX_serial.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int N = in.byte();
    const QByteArray answer = in.rest();
    for (int k = 0; k <= answer.size() && k <= 1024; ++k) {
        // Never more than the whole answer for N bytes: the link waits for
        // what the judge asks.
        const int missing = CmdMitsubishi_FX_serial::readAnswerMissing(answer.left(k), N);
        FUZZ_CHECK(missing >= 0 && k + missing <= qMax(k, 2 * N + 4));
    }
    QByteArray digits("pre");
    const int rc = CmdMitsubishi_FX_serial::parseReadAnswer(answer, N, &digits);
    FUZZ_CHECK(rc == 0 || rc == -1 || rc == -2);
    if (rc == 0) {
        FUZZ_CHECK(digits.size() == 3 + 2 * N);
        for (int i = 3; i < digits.size(); ++i)
            FUZZ_CHECK(quint8(digits.at(i)) < 16);
        // A judged-good answer is one the link would have called complete.
        FUZZ_CHECK(CmdMitsubishi_FX_serial::readAnswerMissing(answer, N) == 0);
    } else {
        FUZZ_CHECK(digits == "pre");
    }
    return 0;
}
