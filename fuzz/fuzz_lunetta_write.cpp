// Lunetta write answers (ACK or NAK to a WW word write or a BW bit write): the
// completeness judge on every prefix, then the check against the request.
// Input: station, form (WW/BW), then the answer bytes.
#include "CmdMitsubishi_FX_links.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int station = in.byte();
    const bool bits = in.byte() & 1;
    const QByteArray answer = in.rest();
    const QByteArray request = bits
        ? CmdMitsubishi_FX_links::buildBitWriteRequest(station, "M0100", "1011")
        : CmdMitsubishi_FX_links::buildWordWriteRequest(station, "D0100", "12AB");
    FUZZ_CHECK(!request.isEmpty());
    for (int k = 0; k <= answer.size() && k <= 1024; ++k)
        FUZZ_CHECK(CmdMitsubishi_FX_links::writeAnswerMissing(answer.left(k)) >= 0);
    int nak = 12345;
    const auto verdict = CmdMitsubishi_FX_links::parseWriteAnswer(request, answer, &nak);
    FUZZ_CHECK(verdict >= CmdMitsubishi_FX_links::AnswerOk && verdict <= CmdMitsubishi_FX_links::AnswerNak);
    if (verdict == CmdMitsubishi_FX_links::AnswerOk) {
        FUZZ_CHECK(answer.size() == CmdMitsubishi_FX_links::AckAnswerLength);
        FUZZ_CHECK(answer.at(0) == CmdMitsubishi_FX_links::ACK);
    }
    if (verdict == CmdMitsubishi_FX_links::AnswerNak)
        FUZZ_CHECK(nak >= -1 && nak <= 0xFF);
    CmdMitsubishi_FX_links::parseWriteAnswer(request, answer, nullptr);
    return 0;
}
