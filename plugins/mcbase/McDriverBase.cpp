#include "McDriverBase.h"

#include "Fx3uDevices.h"
#include "LabelStatus.h"

CMcDriverBase::CMcDriverBase(const DriverIdentity &identity, CMcLink &link,
                             const McDeviceTable &table, const TransferRules &rules,
                             const ProfileKeys &keys, QObject *parent)
    : CTransferDriver(identity, link, rules, WireRepresentation::RawByte, keys, parent),
      m_mcLink(link), m_table(table)
{
}

int CMcDriverBase::getArea(QString text)
{
    return McAddressing::areaCode(text, m_table);
}

int CMcDriverBase::getAddr(QString text, int deviceCode)
{
    return McAddressing::deviceNumber(text, deviceCode, m_table, profile().octalXY);
}

int CMcDriverBase::getbit(QString text)
{
    const int bit = McAddressing::bitIndex(text);
    if (bit == -1)
        return 0;
    return bit < 0 ? -1 : bit;
}

TransferTarget CMcDriverBase::targetOf(const McDeviceArea *area, int headDevice, int bitIndex, int highest)
{
    TransferTarget t;
    if (!area) {
        t.status = StatusUnknownArea;
        return t;
    }
    t.readOnly = area->readOnly;
    if (headDevice < 0 || headDevice > highest || bitIndex < -1 || bitIndex > McMaxBitIndex) {
        t.status = StatusBadDevice;
        return t;
    }
    t.area = area->code;
    t.bitDevice = area->bitDevice;
    // A bit index names one device of a bit area, or one bit of a word
    // (D200.3); for a word-sized value it would mean a value that starts
    // inside a word, which the frames cannot address. Bools read from a bit
    // of a word come from whole words, starting at that bit; they are not
    // written there (TransferPlan).
    t.bitNamed = bitIndex >= 0;
    t.bitOffset = qMax(bitIndex, 0);
    t.head = headDevice;
    t.step = area->bitDevice ? 16 : 1;
    t.unitsToEnd = (qint64(highest) - headDevice + 1) / t.step;
    t.firstPoint = headDevice + t.bitOffset;
    t.pointsToEnd = qint64(highest) - t.firstPoint + 1;
    return t;
}

namespace {

// Word units, as both MC frames read and write; the limits are the plug-in's.
TransferRules mcWordRules()
{
    TransferRules r;
    r.unitBytes = 2;
    return r;
}

} // namespace

McTransferPlan CMcDriverBase::planRead(const McDeviceArea &area, int headDevice, int bitIndex,
                                       int dataType, int count)
{
    return TransferPlanning::planRead(mcWordRules(), targetOf(&area, headDevice, bitIndex), dataType, count);
}

McTransferPlan CMcDriverBase::planWrite(const McDeviceArea &area, int headDevice, int bitIndex,
                                        int dataType, int count)
{
    return TransferPlanning::planWrite(mcWordRules(), targetOf(&area, headDevice, bitIndex), dataType, count);
}

TransferTarget CMcDriverBase::parseTarget(const QString &text)
{
    const McAddress a = McAddressing::parse(text, m_table, profile().octalXY);
    if (a.status != 0) {
        TransferTarget refused;
        refused.status = a.status;
        refused.readOnly = a.readOnly;
        refused.bitDevice = a.bitDevice;
        return refused;
    }
    return familyTarget(m_table.byCode(a.deviceCode), a.headDevice, a.bitIndex);
}

TransferTarget CMcDriverBase::familyTarget(const McDeviceArea *area, int headDevice, int bitIndex) const
{
    if (area && profile().plc == PlcFamily::Fx3u)
        return Fx3uDevices::target(*area, headDevice, bitIndex);
    return targetOf(area, headDevice, bitIndex, area ? m_mcLink.highestDevice(area->code) : McMaxDeviceNumber);
}

// A piece of 32-bit counters is planned in words: two a counter, from the head.
int CMcDriverBase::counterOf(const TransferTarget &target, int address)
{
    return target.head + (address - target.head) / 2;
}

int CMcDriverBase::readPiece(const TransferTarget &target, int address, int units,
                             const QString &text, QByteArray *wire)
{
    if (target.valueBytes != 4)
        return m_mcLink.read_cmd(target.area, address, units * 2, text, wire);
    // The interface takes at most 32 of them a request, whatever read-words says.
    const int first = counterOf(target, address);
    for (int done = 0; done < units / 2; done += Fx3uDevices::MaxCounters32) {
        const int n = qMin(units / 2 - done, Fx3uDevices::MaxCounters32);
        const int r = m_mcLink.read_cmd(target.area, first + done, n * 4, text, wire, 4);
        if (r != 0)
            return r;
    }
    return 0;
}

int CMcDriverBase::writePiece(const TransferTarget &target, bool bitUnits, int address, int units,
                              const QString &text, const QByteArray &wire)
{
    if (bitUnits)
        return m_mcLink.write_bit_cmd(target.area, address, text, wire);
    Q_UNUSED(units)
    if (target.valueBytes == 4)
        return m_mcLink.write_cmd(target.area, counterOf(target, address), text, wire, 4);
    return m_mcLink.write_cmd(target.area, address, text, wire);
}

CLabelVariable CMcDriverBase::Read_data(int deviceCode, int headDevice, DataType dataType, int count,
                                        QString areaText)
{
    const TransferTarget t = familyTarget(m_table.byCode(deviceCode), headDevice, McAddressing::bitIndex(areaText));
    return transferRead(t, areaText, dataType, count);
}

CLabelVariable CMcDriverBase::Write_data(CLabelVariable label, int deviceCode, int headDevice,
                                         DataType dataType, int count, QString areaText)
{
    const TransferTarget t = familyTarget(m_table.byCode(deviceCode), headDevice, McAddressing::bitIndex(areaText));
    return transferWrite(label, t, areaText, dataType, count);
}
