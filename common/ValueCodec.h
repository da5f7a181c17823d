#pragma once
// Conversion between a frame's data field and the typed element lists of
// CLabelVariable.
//
// One rule for every plug-in: the PLC's memory is a run of 16-bit words, each
// word low byte first ("device bytes"); multi-word values take the low word first;
// float and double are their IEEE bit patterns in that little-endian order; bit
// devices are bit 0 of device byte 0 first; text (DT_String) is one character a
// device byte, Latin-1, so two characters a word with the first in the low byte. Each wire representation is first
// turned into device bytes and then decoded by one little-endian decoder, so the
// same memory gives the same value through every plug-in.
//
// Wire representations:
//   HexByte  programming port: digit array, two digits per device byte, high digit first.
//   HexWord  computer link: digit array, four digits per word, most significant first.
//   RawByte  MC protocol binary: the device bytes themselves.
// A digit array holds one digit value (0..15) per byte, in frame order.

#include "CLabelVariable.h"
#include "LabelStatus.h"
#include <QByteArray>
#include <QVariant>

enum class WireRepresentation { HexByte, HexWord, RawByte };

// Results of the encoders (same numbers as the label status they lead to).
enum EncodeResult {
    EncodeOk = StatusOk,
    EncodeWrongType = StatusBadDataType,    // value holds no list of the data type's element type
    EncodeTooFew = StatusNothingToTransfer, // the list holds fewer elements than asked for
    EncodeBadText = StatusBadDevice         // a string longer than the tag or with a character above U+00FF
};

class CValueCodec
{
public:
    explicit CValueCodec(WireRepresentation rep);
    WireRepresentation representation() const { return m_rep; }

    // Device bytes for `count` elements: DT_Bool ceil(count / 8); DT_Int8 and
    // DT_UInt8 count rounded down to an even number; 2, 4 or 8 bytes per element
    // for the wider types; DT_String (count = characters of the tag) count
    // rounded up to an even number, whole words; 0 for every other code and for
    // count <= 0.
    static int getBytelen(int type, int count);
    // The same without an int's limits (0 for what getBytelen calls 0): the one
    // byte length every plug-in sizes its requests with.
    static qint64 byteLength(int type, qint64 count);
    // True for the codes the drivers transfer (1..12).
    static bool hasDecoder(int type);
    // Width in bytes of one element (bool: 0; string: 1, a byte a character), 0
    // for codes without a decoder.
    static int elementWidth(int type);

    // Wire bytes that carry one device byte: 2 hex digits, or the byte itself.
    int wireBytesPerDeviceByte() const { return m_rep == WireRepresentation::RawByte ? 1 : 2; }

    // Wire data -> device bytes (HexByte: 2 digits a byte; HexWord: 4 digits a
    // word; RawByte: unchanged). Incomplete trailing digits are dropped.
    QByteArray toDeviceBytes(const QByteArray &wire) const;
    // Device bytes -> wire data (an odd trailing byte of HexWord is padded with 0).
    QByteArray fromDeviceBytes(const QByteArray &bytes) const;

    // Decoders: exactly `count` elements (none for count <= 0); element k from the
    // device bytes at k * width; bytes beyond the data read as 0.
    QVariant set_variant_Int8(const QByteArray &wire, int count) const;
    QVariant set_variant_UInt8(const QByteArray &wire, int count) const;
    QVariant set_variant_Int16(const QByteArray &wire, int count) const;
    QVariant set_variant_UInt16(const QByteArray &wire, int count) const;
    QVariant set_variant_Int32(const QByteArray &wire, int count) const;
    QVariant set_variant_UInt32(const QByteArray &wire, int count) const;
    QVariant set_variant_fload(const QByteArray &wire, int count) const;
    QVariant set_variant_Int64(const QByteArray &wire, int count) const;
    QVariant set_variant_UInt64(const QByteArray &wire, int count) const;
    QVariant set_variant_double(const QByteArray &wire, int count) const;
    // Exactly `count` bits, the first being bit `bitOffset` of the device bytes
    // (bit 0 of byte 0 is the first device of the data); missing bits read false.
    QVariant set_variant_bool(int bitOffset, const QByteArray &wire, int count) const;
    // One string (a QList<QString> of one element): the first `count` device
    // bytes up to the first NUL byte, each byte one character (Latin-1).
    QVariant set_variant_string(const QByteArray &wire, int count) const;
    // Dispatch by data type; an invalid QVariant for codes without a decoder.
    // For DT_String `count` is the tag's length in characters.
    QVariant decode(int type, const QByteArray &wire, int count, int bitOffset = 0) const;

    // Encoders: append the wire data of elements 0 .. count - 1 of value's list.
    // Nothing is appended unless the result is EncodeOk. Wset_variant_bool appends
    // one byte per element, 1 for true and 0 for false (each protocol puts bits on
    // the wire its own way).
    int Wset_variant_bool(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_Int8(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_UInt8(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_Int16(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_uInt16(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_Int32(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_UInt32(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_float(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_Int64(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_UInt64(const CLabelVariable &value, int count, QByteArray *out) const;
    int Wset_variant_double(const CLabelVariable &value, int count, QByteArray *out) const;
    // The first string of value's QList<QString> in a tag of `count` characters:
    // its Latin-1 bytes padded with NUL bytes to ceil(count / 2) words.
    // EncodeWrongType without a string list, EncodeTooFew for an empty list,
    // EncodeBadText for a string longer than count or with a character above
    // U+00FF.
    int Wset_variant_string(const CLabelVariable &value, int count, QByteArray *out) const;
    // Dispatch by data type; EncodeWrongType for codes without a decoder.
    int encode(int type, const CLabelVariable &value, int count, QByteArray *out) const;

private:
    WireRepresentation m_rep;
};
