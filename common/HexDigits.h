#pragma once
// ASCII hexadecimal helpers shared by the two FX protocols (programming port and
// computer link): digit values 0..15 <-> the uppercase characters 0-9, A-F.

#include <QByteArray>

namespace HexDigits {

// 0..9 -> '0'..'9', 10..15 -> 'A'..'F'; any other value is returned unchanged.
unsigned short GetHexconversionchar(unsigned short v);
// '0'..'9' -> 0..9, 'A'..'F' -> 10..15; anything else (lowercase included) unchanged.
unsigned short GetcharconversionHex(unsigned short c);
// True for '0'..'9' and 'A'..'F' only.
bool isUpperHexChar(char c);
// Low 16 bits of the sum of the unsigned bytes frame[from] .. frame[to - 1];
// positions outside the frame count as 0 (never read).
quint16 byteSum(const QByteArray &frame, int from, int to);
// Two uppercase hex characters of the low byte of v, high digit first.
QByteArray hexByte(unsigned v);
// `digits` uppercase hex characters of v, most significant first.
QByteArray hexNumber(unsigned v, int digits);
// Value of `len` hex characters at `pos` of `text`; -1 when any is missing or not
// an uppercase hex character.
int parseHex(const QByteArray &text, int pos, int len);

} // namespace HexDigits
