// Marrowin word batch read answers (MC 1E binary): the completeness judge on
// every prefix, then the check. Input: points - 1, then the answer bytes.
#include "CmdMarrowin.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int points = 1 + in.byte();
    const QByteArray answer = in.rest();
    const int normal = 2 + 2 * points;
    for (int k = 0; k <= answer.size() && k <= 1024; ++k) {
        const int missing = CmdMarrowin::answerMissing(answer.left(k), normal);
        FUZZ_CHECK(missing >= 0 && k + missing <= qMax(k, normal));
    }
    QByteArray out("pre");
    const int rc = CmdMarrowin::parseReadAnswer(answer, points, &out);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0) {
        FUZZ_CHECK(out.size() == 3 + 2 * points);
        FUZZ_CHECK(answer.size() == normal);
        FUZZ_CHECK(quint8(answer.at(0)) == 0x81 && answer.at(1) == 0);
    } else {
        FUZZ_CHECK(out == "pre");
    }
    CmdMarrowin::parseReadAnswer(answer, points, nullptr);
    return 0;
}
