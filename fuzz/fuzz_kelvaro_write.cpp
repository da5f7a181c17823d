// Kelvaro write and force answers (commands E10, 7 and 8 share the one-byte
// ACK/NAK answer): the completeness judge on every prefix, then the check.
#include "CmdMitsubishi_FX_serial.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const QByteArray answer = in.rest();
    for (int k = 0; k <= answer.size() && k <= 1024; ++k)
        FUZZ_CHECK(CmdMitsubishi_FX_serial::writeAnswerMissing(answer.left(k)) >= 0);
    const int rc = CmdMitsubishi_FX_serial::parseWriteAnswer(answer);
    FUZZ_CHECK(rc == 0 || rc == -1 || rc == -2);
    if (rc == 0)
        FUZZ_CHECK(answer.size() == 1 && answer.at(0) == CmdMitsubishi_FX_serial::ACK);
    return 0;
}
