// Marrowin write answers (MC 1E binary, word batch write and bit batch write):
// the completeness judge on every prefix, then the check.
// Input: form (word/bit), then the answer bytes.
#include "CmdMarrowin.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int subheader = (in.byte() & 1) ? CmdMarrowin::BitWrite : CmdMarrowin::WordWrite;
    const QByteArray answer = in.rest();
    for (int k = 0; k <= answer.size() && k <= 1024; ++k)
        FUZZ_CHECK(CmdMarrowin::answerMissing(answer.left(k), 2) >= 0);
    const int rc = CmdMarrowin::parseWriteAnswer(answer, subheader);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0)
        FUZZ_CHECK(answer.size() == 2 && quint8(answer.at(0)) == (subheader | 0x80) && answer.at(1) == 0);
    return 0;
}
