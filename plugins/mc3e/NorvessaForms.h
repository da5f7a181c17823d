#pragma once
// The MC frame variants besides 3E binary, as conversions of the 3E binary
// frames CmdNorvessa builds and parses: a request is built as 3E binary and
// put into the variant's form; an answer in the variant's form is put back
// into the 3E binary form (or refused) and read by the 3E parsers. So each
// frame rule is written once, and a variant adds only its own head.
//
// 4E: the 3E frame from the network number on behind 54 00, a serial number
// (2 bytes, little-endian) and 00 00; the answer behind D4 00, the same serial
// number and 00 00. The serial number matches an answer to its request.
//
// ASCII: every field as upper-case hexadecimal digits, high digit first, of
// twice its binary width; the device as its name (two characters, "*" after a
// one-letter name) and six digits in the device's base; words as four digits,
// bit points one character "0" or "1" each. Lengths count characters.

#include <QByteArray>

namespace NorvessaForms {

// Bytes of the 4E head: subheader, serial number, 00 00.
constexpr int Head4E = 6;
// A 4E answer up to and including its response data length.
constexpr int AnswerHeader4E = 13;

// The 4E request of a 3E binary request.
QByteArray request4E(const QByteArray &request3E, quint16 serial);
// Bytes still missing from a 4E answer; 0 at once for a start that is no 4E
// answer (a peer answering in another variant), so it is judged as it is.
int answerMissing4E(const QByteArray &soFar);
// The 3E binary form of a complete 4E answer to the request with `serial`;
// empty when it is no 4E answer or one to another request.
QByteArray answer3EOf4E(const QByteArray &answer, quint16 serial);
// Length of the 4E answer at the start of `answer` when it is the whole answer
// of another request than the one with `serial` (a late one), else 0.
int foreign4E(const QByteArray &answer, quint16 serial);

// Characters of an ASCII 3E answer up to and including its response data
// length, and of the 4E head ("D400", serial number, "0000").
constexpr int AnswerHeaderAscii = 18;
constexpr int Head4EAscii = 12;

// The ASCII request of a 3E binary request; `deviceName` is written with its
// number in `digitsBase` (10 or 16). Empty when the number does not fit the
// six digits.
QByteArray requestAscii(const QByteArray &request3E, const char *deviceName, int digitsBase);
QByteArray request4EAscii(const QByteArray &requestAscii, quint16 serial);
int answerMissingAscii(const QByteArray &soFar);
int answerMissing4EAscii(const QByteArray &soFar);
// The 3E binary form of a complete ASCII answer (3E, or 4E to `serial`);
// empty when it is none (another variant, a bad digit, a wrong length, data
// that is not whole words or error information).
QByteArray answer3EOfAscii(const QByteArray &answer);
QByteArray answer3EOf4EAscii(const QByteArray &answer, quint16 serial);
int foreign4EAscii(const QByteArray &answer, quint16 serial);

} // namespace NorvessaForms
