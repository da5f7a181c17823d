#pragma once
// Byte-level helpers shared by the 1E and 3E frames.

#include <QByteArray>

namespace McFrame {

// Appends the low `width` bytes of `value`, least significant first.
void appendLe(QByteArray &frame, quint32 value, int width);

// Unsigned little-endian field of `width` bytes at `offset`; -1 when the bytes
// are not all there.
qint64 readLe(const QByteArray &bytes, int offset, int width);

// Bit-unit write data: one point per nibble, the first point in the high nibble,
// an odd count padded with a low nibble of 0. `points` holds one byte per point,
// non-zero meaning on.
QByteArray packBitNibbles(const QByteArray &points);

// The inverse, for `count` points; points beyond the data read as off.
QByteArray unpackBitNibbles(const QByteArray &packed, int count);

} // namespace McFrame
