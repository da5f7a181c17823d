// MC protocol, 3E and 4E frames in ASCII code, as the PLC answers them. A
// request is read field by field into its binary 3E form and served by the
// mc3e handler; the binary answer is written back as text.
//
// Request: "5000" (4E: "5400", serial number, "0000"), network (2), PC (2),
// module I/O (4), station (2), request data length (4, characters from the
// timer to the end), timer (4), command (4), subcommand (4), device name (2:
// "D*", "ZR", ...), head device (6 digits, hexadecimal for X, Y, B, W, SB, SW,
// DX, DY and ZR, decimal for the rest), points (4), write data: 4 digits a
// word, one character "0"/"1" a bit point. Answer: "D000" (4E: "D400",
// serial, "0000"), the routing fields, response data length (4), end code (4),
// data; after an end code other than 0 the error information (18 characters).
// A device name not listed, or head digits that are not in the device's base,
// are answered with C05C; other bad digits make the binary fields wrong, which
// the mc3e rules answer (C059, C061). Text that does not start with the
// subheader is dropped without an answer.
#include "McBinary.h"
#include "SimLog.h"
#include "SimProtocolRegistry.h"

PLCSIM_PROTOCOL_FILE(mc3e)
PLCSIM_PROTOCOL_FILE(mc3eascii)
PLCSIM_PROTOCOL_FILE(mc4eascii)

namespace {

using namespace plcsim::mc;

struct AsciiDevice { const char *name; quint8 code; int base; };
const AsciiDevice kDevices[] = {
    {"X*", 0x9C, 16}, {"Y*", 0x9D, 16}, {"M*", 0x90, 10}, {"L*", 0x92, 10}, {"F*", 0x93, 10},
    {"V*", 0x94, 10}, {"S*", 0x98, 10}, {"B*", 0xA0, 16}, {"D*", 0xA8, 10}, {"W*", 0xB4, 16},
    {"R*", 0xAF, 10}, {"Z*", 0xCC, 10}, {"ZR", 0xB0, 16}, {"SM", 0x91, 10}, {"SD", 0xA9, 10},
    {"SB", 0xA1, 16}, {"SW", 0xB5, 16}, {"DX", 0xA2, 16}, {"DY", 0xA3, 16}, {"TS", 0xC1, 10},
    {"TC", 0xC0, 10}, {"TN", 0xC2, 10}, {"CS", 0xC4, 10}, {"CC", 0xC3, 10}, {"CN", 0xC5, 10},
    {"SS", 0xC7, 10}, {"SC", 0xC6, 10}, {"SN", 0xC8, 10},
};

// Value of `len` hexadecimal digits (either case) at pos; -1 for anything else.
int hexAt(const QByteArray &t, int pos, int len, int base = 16)
{
    if (pos < 0 || pos + len > t.size())
        return -1;
    bool ok = false;
    const QByteArray digits = t.mid(pos, len);
    const int v = digits.toInt(&ok, base);
    return ok && !digits.contains('+') && !digits.contains('-') && !digits.contains(' ') ? v : -1;
}

QByteArray hexText(int v, int digits)
{
    return SimLog::hex(v, digits).toLatin1();
}

// Binary little-endian field of a text field, 0xFF.. for bad digits.
void putField(QByteArray *b, const QByteArray &t, int pos, int chars)
{
    int v = hexAt(t, pos, chars);
    if (v < 0)
        v = (1 << (4 * chars)) - 1;
    for (int i = 0; i < chars / 2; ++i)
        b->append(char((v >> (8 * i)) & 0xFF));
}

// The binary 3E form of a whole ASCII 3E request (starting "5000").
QByteArray binaryRequest(const QByteArray &t)
{
    QByteArray b("\x50\x00", 2);
    putField(&b, t, 4, 2);
    putField(&b, t, 6, 2);
    putField(&b, t, 8, 4);
    putField(&b, t, 12, 2);
    QByteArray body;
    putField(&body, t, 18, 4);   // timer
    putField(&body, t, 22, 4);   // command
    putField(&body, t, 26, 4);   // subcommand
    const bool bits = hexAt(t, 26, 4) == 1;
    if (t.size() >= 42) {
        const QByteArray name = t.mid(30, 2).toUpper();
        quint8 code = 0;
        int head = 0;
        for (const AsciiDevice &d : kDevices)
            if (name == d.name) {
                head = hexAt(t, 32, 6, d.base);
                code = head < 0 ? 0 : d.code;  // 0: answered as an unknown device
            }
        for (int i = 0; i < 3; ++i)
            body.append(char((qMax(head, 0) >> (8 * i)) & 0xFF));
        body.append(char(code));
        putField(&body, t, 38, 4);
        const QByteArray data = t.mid(42);
        if (bits) {
            // One character a point, packed two a byte; anything but 0/1 is a bad nibble.
            for (int i = 0; i < data.size(); i += 2) {
                const auto nib = [](char c) { return c == '0' ? 0 : c == '1' ? 1 : 0xF; };
                body.append(char(nib(data.at(i)) << 4 | (i + 1 < data.size() ? nib(data.at(i + 1)) : 0)));
            }
        } else {
            for (int i = 0; i + 4 <= data.size(); i += 4)
                putField(&body, data, i, 4);
            if (data.size() % 4)
                body.append('\0');  // not whole words: a length the mc3e rules refuse
        }
    } else {
        body += t.mid(30).isEmpty() ? QByteArray() : QByteArray(1, '\0');
    }
    putLe16(&b, quint16(body.size()));
    return b + body;
}

// The text of a binary 3E answer to a request of `points` in bit units or not.
QByteArray asciiAnswer(const QByteArray &a, bool bits, int points)
{
    if (a.size() < 11)
        return QByteArray();
    const int end = le16(a, 9);
    QByteArray data;
    if (end != 0 && a.size() >= 20) {
        data = hexText(quint8(a.at(11)), 2) + hexText(quint8(a.at(12)), 2) + hexText(le16(a, 13), 4)
               + hexText(quint8(a.at(15)), 2) + hexText(le16(a, 16), 4) + hexText(le16(a, 18), 4);
    } else if (bits) {
        for (int i = 0; i < points && 11 + i / 2 < a.size(); ++i)
            data += ((quint8(a.at(11 + i / 2)) >> (i % 2 ? 0 : 4)) & 0x0F) ? '1' : '0';
    } else {
        for (int i = 11; i + 1 < a.size(); i += 2)
            data += hexText(le16(a, i), 4);
    }
    return "D000" + hexText(quint8(a.at(2)), 2) + hexText(quint8(a.at(3)), 2) + hexText(le16(a, 4), 4)
           + hexText(quint8(a.at(6)), 2) + hexText(4 + data.size(), 4) + hexText(end, 4) + data;
}

class McAsciiHandler : public ProtocolHandler
{
public:
    explicit McAsciiHandler(bool fourE) : m_fourE(fourE) {}

    // Characters before the network number: "5000", or "5400" serial "0000".
    int head() const { return m_fourE ? 12 : 4; }

    Served serve(const QByteArray &buf, const ServeContext &ctx) const override
    {
        Served s;
        const QByteArray sub = m_fourE ? "5400" : "5000";
        const bool headOk = !m_fourE || buf.size() < 12 || (hexAt(buf, 4, 4) >= 0 && buf.mid(8, 4) == "0000");
        if (buf.isEmpty() || (sub.startsWith(buf.left(4)) && headOk && buf.size() < head() + 14))
            return s;
        const int length = hexAt(buf, head() + 10, 4);
        if (!buf.startsWith(sub) || !headOk || length < 0) {
            s.kind = Served::Discard;
            s.consumed = buf.size();
            return s;
        }
        const int total = head() + 14 + length;
        if (buf.size() < total)
            return s;
        const QByteArray text = "5000" + buf.mid(head(), total - head());
        const QByteArray tag = buf.mid(4, 8);
        Served r = m_3e->serve(binaryRequest(text), ctx);
        if (r.kind == Served::NeedMore) {  // a binary length past the text's end
            r.kind = Served::Discard;
        }
        r.consumed = total;
        const bool bits = hexAt(text, 26, 4) == 1;
        const int points = hexAt(text, 38, 4);
        const bool fourE = m_fourE;
        auto toText = [bits, points, tag, fourE](const QByteArray &binary) {
            const QByteArray a = asciiAnswer(binary, bits, points);
            return fourE && !a.isEmpty() ? "D400" + tag + a.mid(4) : a;
        };
        r.answer = toText(r.answer);
        if (r.refusal) {
            const auto refusal3E = r.refusal;
            r.refusal = [refusal3E, toText](int code) { return toText(refusal3E(code)); };
        }
        return r;
    }

    QByteArray badSum(const QByteArray &answer) const override
    {
        // The response data length made one too large.
        const int at = head() + 10;
        const int length = hexAt(answer, at, 4);
        if (length < 0)
            return answer;
        QByteArray out = answer;
        out.replace(at, 4, hexText((length + 1) & 0xFFFF, 4));
        return out;
    }

private:
    bool m_fourE;
    std::unique_ptr<ProtocolHandler> m_3e = plcsim::mc3e::create();
};

QString summary(const QByteArray &request, const QByteArray &answer, bool fourE)
{
    const int head = fourE ? 12 : 4;
    QByteArray binaryAnswer;
    if (!answer.isEmpty()) {
        binaryAnswer = QByteArray(9, '\0');
        putField(&binaryAnswer, answer, head + 14, 4);
    }
    const QString serial = fourE ? QStringLiteral("serial ") + QString::fromLatin1(request.mid(4, 4)) + QLatin1Char(' ') : QString();
    return serial + plcsim::mc3e::logSummary(binaryRequest("5000" + request.mid(head)), binaryAnswer);
}

} // namespace

namespace plcsim {
namespace mc3eascii {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<McAsciiHandler>(false);
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    return summary(request, answer, false);
}

QString help()
{
    return QStringLiteral(
        "mc3e-ascii: the mc3e commands, devices, limits and end codes in ASCII code:\n"
        "  \"5000\", routing \"00FF03FF00\", lengths counting characters, device names of\n"
        "  two characters (\"D*\", \"ZR\"), head devices of 6 digits (hexadecimal for X, Y,\n"
        "  B, W, SB, SW, DX, DY and ZR), 4 digits a word, one character a bit point. An\n"
        "  unknown name or a head device not in its base gets C05C; text that does not\n"
        "  start with \"5000\" is dropped without an answer.\n");
}

} // namespace mc3eascii

namespace mc4eascii {

std::unique_ptr<ProtocolHandler> create()
{
    return std::make_unique<McAsciiHandler>(true);
}

QString logSummary(const QByteArray &request, const QByteArray &answer)
{
    return summary(request, answer, true);
}

QString help()
{
    return QStringLiteral(
        "mc4e-ascii: mc3e-ascii in 4E frames: \"5400\", a serial number (4 digits),\n"
        "  \"0000\", then the request from the network number on; the answer echoes the\n"
        "  serial number behind \"D400\".\n");
}

} // namespace mc4eascii
} // namespace plcsim
