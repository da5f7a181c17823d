#pragma once
// What the two binary MC protocols (1E and 3E frames) share: little-endian
// fields, bit data one nibble a point, memory reads and writes in those forms,
// and how the --verbose log names an MC device.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

class PlcMemory;

namespace plcsim {
namespace mc {

quint16 le16(const QByteArray &b, int pos);
void putLe16(QByteArray *b, quint16 v);

// Bit data in binary MC frames: one nibble per point, the first point in the
// high nibble, an odd count padded with a zero low nibble.
QByteArray packNibbles(const QVector<bool> &bits);
// false when a nibble holds something other than 0 or 1
bool unpackNibbles(const QByteArray &data, int offset, int count, QVector<bool> *bits);

// Reads count points of area starting at head: words, or for bit devices in word
// units 16 bits per word, as little-endian bytes.
QByteArray readWordsLe(PlcMemory &mem, char area, int head, int count);
// The memory change of a word-unit write of the little-endian words in data.
std::function<void()> writeWordsLe(PlcMemory *mem, char area, int head, const QByteArray &data);
// count bit points from head, packed into nibbles.
QByteArray readBitsNibbles(PlcMemory &mem, char area, int head, int count);
std::function<void()> writeBits(PlcMemory *mem, char area, int head, const QVector<bool> &bits);

// For the log: the len-byte little-endian value at pos, -1 when it runs past the end.
int logLeField(const QByteArray &b, int pos, int len);
// For the log: an MC device by its name and number as the MC protocols write it
// (area 0: "device code CODE NUMBER").
QString logDevice(char area, int code, int number);

} // namespace mc
} // namespace plcsim
