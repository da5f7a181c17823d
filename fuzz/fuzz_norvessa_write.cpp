// Norvessa write answers (MC 3E or 4E, binary or ASCII; word-unit and bit-unit
// batch writes get the same answer form): the variant's completeness judge on
// every prefix, its 3E binary form, then the 3E check. Input: the variant (bit
// 0 4E, bit 1 ASCII), the answer. The 4E serial number of the request is 0x0102.
#include "NorvessaVariant.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const fuzz::NorvessaVariant variant(in);
    const QByteArray answer = in.rest();
    const CmdNorvessa::AnswerForm &form = variant.form;
    variant.judgeEveryPrefix(answer);
    const QByteArray as3E = form.to3E(answer);
    const int rc = CmdNorvessa::parseWriteAnswer(as3E);
    FUZZ_CHECK(rc == 0 || rc == -1);
    if (rc == 0)
        FUZZ_CHECK(as3E.size() == CmdNorvessa::HeaderBytes + 2 && CmdNorvessa::endCode(as3E) == 0
                   && form.judge(answer) == 0);
    return 0;
}
