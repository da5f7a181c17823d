#pragma once
// What the two ASCII FX protocols (programming port, computer link) share:
// control characters, hexadecimal fields and the byte sum of their sum checks.

#include <QByteArray>

namespace plcsim {
namespace fx {

const char STX = 0x02;
const char ETX = 0x03;
const char ENQ = 0x05;
const char ACK = 0x06;
const char NAK = 0x15;

// Value of an uppercase hexadecimal digit, -1 for any other character (the
// PLCs send and expect uppercase digits; a lowercase one is a character error).
int hexValue(char c);
// Value of count hex characters at pos, or -1 when one of them is no digit or
// they run past the end.
int hexField(const QByteArray &b, int pos, int count);
// value as `digits` uppercase hexadecimal digits.
QByteArray hexText(unsigned value, int digits);
// Sum of the bytes [from, to), modulo 256.
quint8 byteSum(const QByteArray &b, int from, int to);

// A hexadecimal field as the --verbose log reads it (either case), -1 when it
// runs past the end or is no number.
int logHexField(const QByteArray &b, int pos, int len);

} // namespace fx
} // namespace plcsim
