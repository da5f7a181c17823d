#include "McDriverBase.h"
#include "LocalClock.h"

#include <QDateTime>

namespace {

bool isByteType(int type)
{
    return type == DT_Int8 || type == DT_UInt8;
}

// Device bytes of `count` elements, computed wide so that no count can wrap
// it round to a small or negative number.
qint64 wideByteLength(int type, int count)
{
    if (count <= 0 || !CValueCodec::hasDecoder(type))
        return 0;
    if (type == DT_Bool)
        return (qint64(count) + 7) / 8;
    if (isByteType(type))
        return qint64(count / 2) * 2;
    return qint64(count) * CValueCodec::elementWidth(type);
}

// Checks shared by reads and writes once the address text has parsed: the
// device number (5), the data type (2), something to move (4), then the size
// and what the bit index may mean (5).
int commonRefusal(int headDevice, int bitIndex, int dataType, int count)
{
    if (headDevice < 0 || headDevice > McMaxDeviceNumber)
        return 5;
    if (bitIndex < -1 || bitIndex > McMaxBitIndex)
        return 5;
    if (dataType == DT_None || !CValueCodec::hasDecoder(dataType))
        return 2;
    const qint64 bytes = wideByteLength(dataType, count);
    if (bytes <= 0)
        return 4;
    if (bytes > CDriverShell::MaxTransferBytes)
        return 5;
    // A bit index names one device of a bit area; for a word-sized value it
    // would mean a value that starts inside a word, which the frames cannot
    // address.
    if (bitIndex >= 0 && dataType != DT_Bool)
        return 5;
    return 0;
}

// Last device of `points` points of `step` devices from `head` still within
// the three-byte device number field.
bool inRange(int head, int points, int step)
{
    return qint64(head) + qint64(points) * step - 1 <= McMaxDeviceNumber;
}

} // namespace

CMcDriverBase::CMcDriverBase(const DriverIdentity &identity, CMcLink &link,
                             const McDeviceTable &table, const McLimits &limits, QObject *parent)
    : CDriverShell(identity, link, parent), m_mcLink(link), m_table(table), m_limits(limits),
      m_codec(WireRepresentation::RawByte)
{
}

int CMcDriverBase::getArea(QString text)
{
    return McAddressing::areaCode(text, m_table);
}

int CMcDriverBase::getAddr(QString text, int deviceCode)
{
    return McAddressing::deviceNumber(text, deviceCode, m_table);
}

int CMcDriverBase::getbit(QString text)
{
    const int bit = McAddressing::bitIndex(text);
    if (bit == -1)
        return 0;
    return bit < 0 ? -1 : bit;
}

McTransferPlan CMcDriverBase::planRead(const McDeviceArea &area, int headDevice, int bitIndex,
                                       int dataType, int count)
{
    McTransferPlan plan;
    plan.status = commonRefusal(headDevice, bitIndex, dataType, count);
    if (plan.status != 0)
        return plan;
    plan.head = headDevice;
    plan.step = area.bitDevice ? 16 : 1;
    if (dataType == DT_Bool) {
        // Word units from the named device: the words must hold the bits from
        // the offset up to offset + count.
        plan.bitOffset = bitIndex < 0 ? 0 : bitIndex;
        const qint64 bits = qint64(plan.bitOffset) + count;
        if (bits > qint64(MaxTransferBytes) * 8) {
            plan.status = 5;
            return plan;
        }
        plan.points = int((bits + 15) / 16);
        plan.elements = count;
    } else {
        const int bytes = CValueCodec::getBytelen(dataType, count);
        if (bytes > MaxTransferBytes) {
            plan.status = 5;
            return plan;
        }
        plan.points = bytes / 2;
        plan.elements = isByteType(dataType) ? bytes : bytes / CValueCodec::elementWidth(dataType);
    }
    plan.byteLength = plan.points * 2;
    if (!inRange(plan.head, plan.points, plan.step))
        plan.status = 5;
    return plan;
}

McTransferPlan CMcDriverBase::planWrite(const McDeviceArea &area, int headDevice, int bitIndex,
                                        int dataType, int count)
{
    McTransferPlan plan;
    plan.status = commonRefusal(headDevice, bitIndex, dataType, count);
    if (plan.status != 0)
        return plan;
    if (dataType == DT_Bool) {
        // Bit units reach bit devices only; setting bits of a data register
        // would need a read-modify-write that another writer could overtake.
        if (!area.bitDevice) {
            plan.status = 2;
            return plan;
        }
        if (count > MaxTransferBytes * 8) {
            plan.status = 5;
            return plan;
        }
        plan.bitUnits = true;
        plan.head = headDevice + (bitIndex < 0 ? 0 : bitIndex);
        plan.points = count;
        plan.step = 1;
        plan.byteLength = CValueCodec::getBytelen(DT_Bool, count);
        plan.elements = count;
    } else {
        const int bytes = CValueCodec::getBytelen(dataType, count);
        if (bytes > MaxTransferBytes) {
            plan.status = 5;
            return plan;
        }
        // Whole words only: an odd number of 8-bit elements would leave half
        // a word that cannot be written without overwriting its other byte.
        if (isByteType(dataType) && count % 2 != 0) {
            plan.status = 4;
            return plan;
        }
        plan.head = headDevice;
        plan.step = area.bitDevice ? 16 : 1;
        plan.points = bytes / 2;
        plan.byteLength = bytes;
        plan.elements = count;
    }
    if (!inRange(plan.head, plan.points, plan.step))
        plan.status = 5;
    return plan;
}

CLabelVariable CMcDriverBase::Read_data(int deviceCode, int headDevice, DataType dataType,
                                        int count, QString areaText)
{
    CLabelVariable label;
    label.status = 1;
    label.accessStatus = 1;
    label.value = QVariant();
    label.timestamp = QDateTime();
    label.address.clear();
    label.auxText.clear();

    const McDeviceArea *area = m_table.byCode(deviceCode);
    if (!area) {
        label.status = 3;
        return label;
    }
    const McTransferPlan plan = planRead(*area, headDevice, McAddressing::bitIndex(areaText),
                                         dataType, count);
    if (plan.status != 0) {
        label.status = plan.status;
        return label;
    }

    const int perRequest = area->bitDevice ? m_limits.readWordsBitDevice : m_limits.readWords;
    QByteArray data;
    data.reserve(plan.byteLength);
    const int rc = forEachChunk(plan.points, perRequest, [&](int offset, int length) {
        const int before = data.size();
        const int r = m_mcLink.read_cmd(deviceCode, plan.head + offset * plan.step, length * 2,
                                        areaText, &data);
        // The frame code checks the answer's length; a piece that still came
        // back short must not shift the pieces after it.
        if (r == 0 && data.size() - before != length * 2)
            return -1;
        return r;
    });
    if (rc != 0) {
        label.status = statusForLinkResult(rc, label.status);
        return label;
    }
    label.timestamp = LocalClock::now();
    label.status = 0;
    label.value = m_codec.decode(dataType, data, plan.elements, plan.bitOffset);
    return label;
}

CLabelVariable CMcDriverBase::ReadVariable(QString text, DataType dataType, int count)
{
    CLabelVariable label;
    label.status = 1;
    label.accessStatus = 1;
    label.value = QVariant();
    label.timestamp = LocalClock::now();
    label.address.clear();
    label.auxText.clear();

    const McAddress a = McAddressing::parse(text, m_table);
    if (a.deviceCode == 0) {
        label.status = 3;
    } else if (count <= 0) {
        label.status = 4;
    } else if (a.status != 0) {
        label.status = a.status;
    } else if (dataType == DT_None) {
        label.status = 2;
    } else {
        const CLabelVariable r = Read_data(a.deviceCode, a.headDevice, dataType, count, text);
        label.status = r.status;
        label.value = r.value;
        // A read refused before the exchange keeps the time of the call.
        if (r.status < 2 || r.status > 5)
            label.timestamp = r.timestamp;
        label.auxText = r.auxText;
    }
    stampRequest(label, text, dataType, count);
    return label;
}

CLabelVariable CMcDriverBase::Write_data(CLabelVariable label, int deviceCode, int headDevice,
                                         DataType dataType, int count, QString areaText)
{
    const McDeviceArea *area = m_table.byCode(deviceCode);
    if (!area) {
        label.status = 3;
        return label;
    }
    const McTransferPlan plan = planWrite(*area, headDevice, McAddressing::bitIndex(areaText),
                                          dataType, count);
    if (plan.status != 0) {
        label.status = plan.status;
        return label;
    }

    QByteArray data;
    const int encoded = m_codec.encode(dataType, label, plan.elements, &data);
    if (encoded != EncodeOk) {
        label.status = encoded;
        return label;
    }

    int rc;
    if (plan.bitUnits) {
        if (data.size() != plan.points) {
            label.status = 4;
            return label;
        }
        rc = forEachChunk(plan.points, m_limits.writeBits, [&](int offset, int length) {
            return m_mcLink.write_bit_cmd(deviceCode, plan.head + offset, areaText,
                                          data.mid(offset, length));
        });
    } else {
        if (data.size() != plan.byteLength) {
            label.status = 4;
            return label;
        }
        const int perRequest = area->bitDevice ? m_limits.writeWordsBitDevice : m_limits.writeWords;
        rc = forEachChunk(plan.points, perRequest, [&](int offset, int length) {
            return m_mcLink.write_cmd(deviceCode, plan.head + offset * plan.step, length * 2,
                                      areaText, data.mid(offset * 2, length * 2));
        });
    }
    if (rc == 0)
        label.timestamp = LocalClock::now();
    label.status = statusForLinkResult(rc, label.status);
    return label;
}

CLabelVariable CMcDriverBase::WriteVariable(QString text, DataType dataType, CLabelVariable label,
                                            int count)
{
    const McAddress a = McAddressing::parse(text, m_table);
    if (a.deviceCode == 0) {
        label.status = 3;
    } else if (count <= 0) {
        label.status = 4;
    } else if (a.status != 0) {
        label.status = a.status;
    } else if (dataType == DT_None) {
        label.status = 2;
    } else {
        const CLabelVariable r = Write_data(label, a.deviceCode, a.headDevice, dataType, count, text);
        takeOutcome(label, r);
        label.auxText = r.auxText;
    }
    stampRequest(label, text, dataType, count);
    return label;
}
