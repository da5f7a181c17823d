#pragma once
// The driver side both MC protocol plug-ins share: address parsing against the
// plug-in's device table, the checks that refuse a request before anything is
// sent, splitting of large requests, the value codec and the label status. A
// plug-in's Lib... class adds only its identity, device table and link.
//
// Refusals, in this order, nothing sent: 3 the first character is no device
// letter of the table; 4 count <= 0; 5 the device number does not parse in the
// area's base, is negative, or the bit index is not 0..15 (or stands on a word
// device); 2 a data type without a decoder (0, 12 and up, negative); 4 a byte
// length of 0 (one 8-bit element), or an odd number of 8-bit elements to write;
// 5 a bit index with a data type other than bool, more than MaxTransferBytes,
// or devices beyond the three-byte device number; 2 bools written to a word
// device (bit units reach bit devices only).
//
// Bools are read in word units from the named device, covering the bit index
// plus count bits, and written in bit units from the addressed bit. Requests
// above the plug-in's limits are split; every piece must succeed, else the
// first failure's status is returned.

#include "DriverShell.h"
#include "McAddress.h"
#include "McLink.h"
#include "ValueCodec.h"

// Points per request. Word units count 16-bit words, bit units single devices.
struct McLimits {
    int readWords;          // word-unit read of a word device
    int readWordsBitDevice; // word-unit read of a bit device (16 devices a word)
    int writeWords;         // word-unit write of a word device
    int writeWordsBitDevice;
    int writeBits;          // bit-unit write
};

// What a read or write of one address amounts to, or why it is refused. Pure:
// computed from the parsed address, data type and count alone.
struct McTransferPlan {
    int status = 0;       // 0, or the label status refusing the request
    bool bitUnits = false;// write: bools go out in bit units
    int head = 0;         // first device of the transfer
    int points = 0;       // words (word units) or devices (bit units)
    int step = 1;         // device numbers per point in word units: 16 on bit devices
    int byteLength = 0;   // device bytes moved in word units
    int bitOffset = 0;    // read of bools: the first wanted bit within the data
    int elements = 0;     // elements decoded (read) or encoded (write)
};

class CMcDriverBase : public CDriverShell
{
    Q_OBJECT
public:
    CMcDriverBase(const DriverIdentity &identity, CMcLink &link, const McDeviceTable &table,
                  const McLimits &limits, QObject *parent = nullptr);

    // Device code of the address text's first character, 0 when unknown.
    int getArea(QString text);
    // Device number of the text in its area's base; -1 when it does not parse
    // (the text then refers to no device at all).
    int getAddr(QString text, int deviceCode);
    // Bit index after the dot: 0 without a dot, -1 when it is no number 0..15.
    int getbit(QString text);

    CLabelVariable Read_data(int deviceCode, int headDevice, DataType dataType, int count,
                             QString areaText);
    CLabelVariable ReadVariable(QString text, DataType dataType, int count) override;
    CLabelVariable Write_data(CLabelVariable label, int deviceCode, int headDevice,
                              DataType dataType, int count, QString areaText);
    CLabelVariable WriteVariable(QString text, DataType dataType, CLabelVariable label,
                                 int count) override;
    using CDriverShell::ReadVariable;
    using CDriverShell::WriteVariable;

    const McDeviceTable &deviceTable() const { return m_table; }
    const McLimits &limits() const { return m_limits; }

    // The plans behind Read_data and Write_data. bitIndex is -1 when the address
    // had no dot.
    static McTransferPlan planRead(const McDeviceArea &area, int headDevice, int bitIndex,
                                   int dataType, int count);
    static McTransferPlan planWrite(const McDeviceArea &area, int headDevice, int bitIndex,
                                    int dataType, int count);

private:
    CMcLink &m_mcLink;
    McDeviceTable m_table;
    McLimits m_limits;
    CValueCodec m_codec;
};
