#include "NorvessaForms.h"
#include "CmdNorvessa.h"
#include "McFrame.h"

namespace NorvessaForms {

namespace {

// 3E frames begin with a two-byte subheader; the rest follows the 4E head.
constexpr int Subheader3E = 2;

bool has4EHead(const QByteArray &b, quint8 subheader)
{
    return b.size() >= Head4E && quint8(b.at(0)) == subheader && b.at(1) == 0 && b.at(4) == 0 && b.at(5) == 0;
}

} // namespace

QByteArray request4E(const QByteArray &request3E, quint16 serial)
{
    QByteArray f;
    f.reserve(request3E.size() + Head4E - Subheader3E);
    f.append(char(0x54)).append(char(0x00));
    McFrame::appendLe(f, serial, 2);
    f.append(char(0x00)).append(char(0x00));
    f.append(request3E.mid(Subheader3E));
    return f;
}

int answerMissing4E(const QByteArray &soFar)
{
    if ((!soFar.isEmpty() && quint8(soFar.at(0)) != 0xD4) || (soFar.size() > 1 && soFar.at(1) != 0))
        return 0;
    if (soFar.size() < Head4E)
        return AnswerHeader4E - soFar.size();
    // Behind the serial number the 3E answer's header follows, two bytes later.
    return CmdNorvessa::answerMissing(soFar.mid(Head4E - Subheader3E));
}

QByteArray answer3EOf4E(const QByteArray &answer, quint16 serial)
{
    if (!has4EHead(answer, 0xD4) || McFrame::readLe(answer, 2, 2) != serial)
        return QByteArray();
    return QByteArray("\xD0\x00", 2) + answer.mid(Head4E);
}

int foreign4E(const QByteArray &answer, quint16 serial)
{
    if (!has4EHead(answer, 0xD4) || McFrame::readLe(answer, 2, 2) == serial)
        return 0;
    const qint64 length = McFrame::readLe(answer, AnswerHeader4E - 2, 2);
    const qint64 total = AnswerHeader4E + length;
    return length >= 0 && total <= answer.size() ? int(total) : 0;
}

} // namespace NorvessaForms
