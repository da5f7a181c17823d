#pragma once
// The read and write flow every plug-in runs: parse the address text (the
// plug-in), plan the transfer (TransferPlan), encode, send the pieces in order
// through the plug-in's frames and stop at the first failed one, decode. A
// plug-in's driver class supplies only its address parsing (parseTarget), its
// limits (TransferRules) and its frames (readPiece, writePiece).
//
// A transfer split into several requests is not atomic: when a later piece of a
// write fails, the earlier pieces stay written and the status is the failure's.

#include "DriverProfile.h"
#include "DriverShell.h"
#include "TransferPlan.h"
#include "ValueCodec.h"

#include <QDateTime>

class CTransferDriver : public CDriverShell
{
    Q_OBJECT
public:
    CTransferDriver(const DriverIdentity &identity, CLinkTransport &link, const TransferRules &rules,
                    WireRepresentation wire, const ProfileKeys &keys = ProfileKeys(),
                    QObject *parent = nullptr);

    CLabelVariable ReadVariable(QString address, DataType type, int count) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override;
    using CDriverShell::ReadVariable;
    using CDriverShell::WriteVariable;
    // Stores the text (CDriverShell) and, where the plug-in takes a profile,
    // applies it from the next request on; what it cannot use is named in one
    // warning line.
    void SetConnectPar(QString par) override;

    const TransferRules &rules() const { return m_rules; }
    const DriverProfile &profile() const { return m_profile; }

protected:
    // Applies "key=value;..." pairs of the profile (SetConnectPar without
    // storing the text, for a plug-in whose text holds more than pairs).
    void applyProfileKeys(const QString &pairs);
    // The plug-in's part of a profile just applied (its frame variant).
    virtual void profileApplied(const DriverProfile &profile) { Q_UNUSED(profile) }
    // The plug-in's address parsing.
    virtual TransferTarget parseTarget(const QString &text) = 0;
    // The plug-in's frames: one request of `units` data units from device
    // address `address`, appending the wire data to *wire; and one write of
    // data units or (bitUnits) points, one wire byte per point (1 on, 0 off).
    // Results are link results (0, -1, -2, -3).
    virtual int readPiece(const TransferTarget &target, int address, int units, const QString &text,
                          QByteArray *wire) = 0;
    virtual int writePiece(const TransferTarget &target, bool bitUnits, int address, int units,
                           const QString &text, const QByteArray &wire) = 0;

    // Status, value and timestamp of a read or write of `target`.
    CLabelVariable transferRead(const TransferTarget &target, const QString &text, DataType type, int count);
    CLabelVariable transferWrite(CLabelVariable value, const TransferTarget &target, const QString &text,
                                 DataType type, int count);
    // The time every returned value is stamped with.
    static QDateTime stampTime();

private:
    // The profile and the limits it sets; applyProfile hands the link its part too.
    void keepProfile(const DriverProfile &profile);
    void applyProfile(const DriverProfile &profile);

    TransferRules m_rules;
    CValueCodec m_codec;
    ProfileKeys m_keys;
    DriverProfile m_profile;
};
