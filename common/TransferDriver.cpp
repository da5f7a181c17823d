#include "TransferDriver.h"

#include "LabelStatus.h"
#include "LocalClock.h"

CTransferDriver::CTransferDriver(const DriverIdentity &identity, CLinkTransport &link,
                                 const TransferRules &rules, WireRepresentation wire,
                                 const ProfileKeys &keys, QObject *parent)
    : CDriverShell(identity, link, parent), m_rules(rules), m_codec(wire), m_keys(keys)
{
    if (m_keys.readWordsDefault <= 0)
        m_keys.readWordsDefault = rules.readWords;
    // The link (a member of the derived class) is not built yet: it starts
    // with the default hold-back itself.
    keepProfile(DriverProfile::defaults(m_keys));
}

QDateTime CTransferDriver::stampTime()
{
    return LocalClock::now();
}

void CTransferDriver::keepProfile(const DriverProfile &profile)
{
    m_profile = profile;
    if (m_keys.readWordsMax > 0)
        m_rules.readWords = profile.readWords;
}

void CTransferDriver::applyProfile(const DriverProfile &profile)
{
    keepProfile(profile);
    link().setHoldBack(profile.holdBack);
    link().setDatagrams(profile.udp);
    profileApplied(profile);
}

void CTransferDriver::SetConnectPar(QString par)
{
    CDriverShell::SetConnectPar(par);
    applyProfileKeys(par);
}

void CTransferDriver::applyProfileKeys(const QString &pairs)
{
    DriverProfile next = m_profile;
    const QStringList unused = applyProfileText(pairs, m_keys, &next);
    applyProfile(next);
    if (!unused.isEmpty())
        plcWarningLine(QStringLiteral("lib[%1]SetConnectPar ignored: ").arg(link().profile().name)
                       + unused.join(QLatin1Char(';')));
}

CLabelVariable CTransferDriver::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable label = transferRead(parseTarget(address), address, type, count);
    stampRequest(label, address, type, count);
    return label;
}

CLabelVariable CTransferDriver::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    CLabelVariable label = transferWrite(value, parseTarget(address), address, type, count);
    stampRequest(label, address, type, count);
    return label;
}

CLabelVariable CTransferDriver::transferRead(const TransferTarget &target, const QString &text,
                                             DataType type, int count)
{
    CLabelVariable label;
    const TransferPlan plan = TransferPlanning::planRead(m_rules, target, type, count);
    if (plan.status != StatusOk) {
        label.status = plan.status;
        if (m_rules.refusedReadKeepsCallTime)
            label.timestamp = stampTime();
        return label;
    }
    const int wirePerUnit = m_rules.unitBytes * m_codec.wireBytesPerDeviceByte();
    QByteArray wire;
    wire.reserve(plan.points * wirePerUnit);
    const int rc = forEachChunk(plan.points, plan.perRequest, [&](int offset, int units) {
        const int before = wire.size();
        const int r = readPiece(target, plan.head + offset * plan.step, units, text, &wire);
        // The frame code checks the answer's length; a piece that still came
        // back short must not shift the pieces after it.
        if (r == 0 && wire.size() - before != units * wirePerUnit)
            return -1;
        return r;
    });
    if (rc != 0) {
        label.status = statusForLinkResult(rc, label.status);
        return label;
    }
    label.status = StatusOk;
    label.timestamp = stampTime();
    label.value = m_codec.decode(type, wire, plan.elements, plan.bitOffset);
    return label;
}

CLabelVariable CTransferDriver::transferWrite(CLabelVariable value, const TransferTarget &target,
                                              const QString &text, DataType type, int count)
{
    const TransferPlan plan = TransferPlanning::planWrite(m_rules, target, type, count);
    if (plan.status != StatusOk) {
        value.status = plan.status;
        return value;
    }
    QByteArray wire;
    const int encoded = m_codec.encode(type, value, plan.elements, &wire);
    if (encoded != EncodeOk) {
        value.status = encoded;
        return value;
    }
    const int wirePerUnit = plan.bitUnits ? 1 : m_rules.unitBytes * m_codec.wireBytesPerDeviceByte();
    if (wire.size() != qint64(plan.points) * wirePerUnit) {
        value.status = StatusNothingToTransfer;
        return value;
    }
    const int rc = forEachChunk(plan.points, plan.perRequest, [&](int offset, int units) {
        return writePiece(target, plan.bitUnits, plan.head + offset * plan.step, units, text,
                          wire.mid(offset * wirePerUnit, units * wirePerUnit));
    });
    value.status = statusForLinkResult(rc, StatusNotCompleted);
    if (rc == 0)
        value.timestamp = stampTime();
    return value;
}
