// Lunetta WR answers (computer link, format 1): the completeness judge on every
// prefix, then the check against the request that asked for them.
// Input: station, words, then the answer bytes.
#include "CmdMitsubishi_FX_links.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int station = in.byte();
    const int words = 1 + in.byte() % 64;
    const QByteArray answer = in.rest();
    const QByteArray request = CmdMitsubishi_FX_links::buildReadRequest(station, "D0100", words);
    FUZZ_CHECK(!request.isEmpty());
    for (int k = 0; k <= answer.size() && k <= 1024; ++k) {
        const int missing = CmdMitsubishi_FX_links::readAnswerMissing(answer.left(k), words);
        FUZZ_CHECK(missing >= 0 && k + missing <= qMax(k, CmdMitsubishi_FX_links::readAnswerLength(words)));
    }
    QByteArray digits("pre");
    int nak = 12345;
    const auto verdict = CmdMitsubishi_FX_links::parseReadAnswer(request, answer, words, &digits, &nak);
    FUZZ_CHECK(verdict >= CmdMitsubishi_FX_links::AnswerOk && verdict <= CmdMitsubishi_FX_links::AnswerNak);
    if (verdict == CmdMitsubishi_FX_links::AnswerOk) {
        FUZZ_CHECK(digits.size() == 3 + 4 * words);
        for (int i = 3; i < digits.size(); ++i)
            FUZZ_CHECK(quint8(digits.at(i)) < 16);
        FUZZ_CHECK(answer.size() == CmdMitsubishi_FX_links::readAnswerLength(words));
    } else {
        FUZZ_CHECK(digits == "pre");
    }
    if (verdict == CmdMitsubishi_FX_links::AnswerNak)
        FUZZ_CHECK(nak >= -1 && nak <= 0xFF);
    // Without the optional outputs.
    CmdMitsubishi_FX_links::parseReadAnswer(request, answer, words, nullptr, nullptr);
    return 0;
}
