#pragma once
// What both Norvessa answer targets do first: the frame variant from one input
// byte (bit 0 4E, bit 1 ASCII), and the variant's completeness judge on every
// prefix of the answer.
#include "CmdNorvessa.h"
#include "FuzzSupport.h"

namespace fuzz {

struct NorvessaVariant {
    bool fourE = false;
    bool ascii = false;
    CmdNorvessa::AnswerForm form;

    explicit NorvessaVariant(Input &in)
    {
        const int variant = in.byte();
        fourE = variant & 1;
        ascii = variant & 2;
        form = CmdNorvessa::answerForm(fourE, ascii, 0x0102);  // the request's 4E serial number
    }

    // Never more than the longest answer a request can get: the link waits (on
    // a serial line stretches its time-out) for what the judge asks. ASCII
    // doubles the binary answer, 4E adds its head.
    void judgeEveryPrefix(const QByteArray &answer) const
    {
        const int longest = (CmdNorvessa::HeaderBytes + 2 + 2 * CmdNorvessa::MaxWordPoints) * (ascii ? 2 : 1)
                            + (fourE ? (ascii ? 8 : 4) : 0);
        for (int k = 0; k <= answer.size() && k <= 4096; ++k) {
            const int missing = form.judge(answer.left(k));
            FUZZ_CHECK(missing == 0 || (missing > 0 && k + missing <= longest));
        }
    }
};

} // namespace fuzz
