// Norvessa batch read answers (MC 3E or 4E, binary or ASCII): the variant's
// completeness judge on every prefix, its test for another request's answer,
// its 3E binary form, then the end code and the 3E check. Input: the variant
// (bit 0 4E, bit 1 ASCII), points (two bytes), the answer. The 4E serial
// number of the request is 0x0102.
#include "NorvessaVariant.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const fuzz::NorvessaVariant variant(in);
    const int lo = in.byte();
    const int points = 1 + (lo | (in.byte() << 8)) % CmdNorvessa::MaxWordPoints;
    const QByteArray answer = in.rest();
    const CmdNorvessa::AnswerForm &form = variant.form;
    variant.judgeEveryPrefix(answer);
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
