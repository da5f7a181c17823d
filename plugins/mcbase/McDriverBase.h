#pragma once
// The driver side both MC protocol plug-ins share: address parsing against the
// plug-in's device table (X/Y numbering as the profile says) and the frames of
// one piece of a transfer. Refusals, splitting, encoding and decoding are the
// common transfer flow's (TransferDriver, TransferPlan). A plug-in's Lib... class
// adds only its identity, device table, limits and link.
//
// Bools are read in word units from the named device, covering the bit index
// plus count bits, and written in bit units from the addressed bit (bit devices
// only: D200.3 is read, never written). Text (DT_String) goes in word units.

#include "McAddress.h"
#include "McLink.h"
#include "TransferDriver.h"

// The common plan under the name the MC code and its tests use.
using McTransferPlan = TransferPlan;

class CMcDriverBase : public CTransferDriver
{
    Q_OBJECT
public:
    CMcDriverBase(const DriverIdentity &identity, CMcLink &link, const McDeviceTable &table,
                  const TransferRules &rules, const ProfileKeys &keys, QObject *parent = nullptr);

    // Device code of the address text's first character, 0 when unknown.
    int getArea(QString text);
    // Device number of the text in its area's base; -1 when it does not parse
    // (the text then refers to no device at all).
    int getAddr(QString text, int deviceCode);
    // Bit index after the dot: 0 without a dot, -1 when it is no number 0..15.
    int getbit(QString text);

    // The bit index is taken from `areaText`; ReadVariable and WriteVariable do
    // not come through here, they parse the text once.
    CLabelVariable Read_data(int deviceCode, int headDevice, DataType dataType, int count,
                             QString areaText);
    CLabelVariable Write_data(CLabelVariable label, int deviceCode, int headDevice,
                              DataType dataType, int count, QString areaText);
    using CTransferDriver::ReadVariable;
    using CTransferDriver::WriteVariable;

    const McDeviceTable &deviceTable() const { return m_table; }

    // The plans of one area, head device and bit index (-1: no dot; -2: a bad
    // bit index), with the word-unit rules both MC frames share.
    static McTransferPlan planRead(const McDeviceArea &area, int headDevice, int bitIndex,
                                   int dataType, int count);
    static McTransferPlan planWrite(const McDeviceArea &area, int headDevice, int bitIndex,
                                    int dataType, int count);
    // `highest`: the highest device number the frame carries.
    static TransferTarget targetOf(const McDeviceArea *area, int headDevice, int bitIndex,
                                   int highest = McMaxDeviceNumber);

protected:
    TransferTarget parseTarget(const QString &text) override;
    int readPiece(const TransferTarget &target, int address, int units, const QString &text,
                  QByteArray *wire) override;
    int writePiece(const TransferTarget &target, bool bitUnits, int address, int units,
                   const QString &text, const QByteArray &wire) override;

private:
    // targetOf, or the family's own target where the profile names one.
    TransferTarget familyTarget(const McDeviceArea *area, int headDevice, int bitIndex) const;
    static int counterOf(const TransferTarget &target, int address);

    CMcLink &m_mcLink;
    McDeviceTable m_table;
};
