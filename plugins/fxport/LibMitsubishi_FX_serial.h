#pragma once
// Driver class of the FX programming-port plug-in "Kelvaro": address texts
// (X, Y, M, D, S, TS, CS, TN, CN devices; a bit of a register after a dot, D200.3)
// to device byte and bit addresses, and the read and write flows on top of the
// link class's frames.

#include "CmdMitsubishi_FX_serial.h"
#include "TransferDriver.h"

#include <QString>

// Where one device lives in the programming port's address space.
struct FxDevice {
    const char *name = "";   // device name: X, Y, M, D, S, TS, CS, TN or CN
    int area = 0;            // area code (LibMitsubishi_FX_serial::AreaCode)
    int number = 0;          // the number as written (X and Y: its octal value)
    int index = 0;           // position of the device within its block
    bool wordDevice = false; // D, TN, CN: registers, read and written as words
    int valueBytes = 0;      // 4 for the 32-bit counters C200..C255, else 0
    bool readOnly = false;   // TS, CS: contacts, not written through this port
    int firstByte = 0;       // device byte address of the byte holding the device
    int blockEndByte = 0;    // one past the block's last byte address
    int bitOffset = 0;       // bit of the device within firstByte (bit devices)
    int bitIndex = -1;       // registers: the bit after a dot (D200.3: 3), -1 without a dot
    int bitBase = 0;         // force-command bit address of the block's first device
    int blockSize = 0;       // devices in the block
};

class LibMitsubishi_FX_serial : public CTransferDriver
{
    Q_OBJECT
public:
    // Area codes: the characters that follow STX in a read request of the area
    // (command and high address digits), then the next address digit of the
    // area's first byte.
    enum AreaCode {
        AreaNone = 0,
        AreaX = 0x30303038,  // "0008": byte 0x0080
        AreaY = 0x30303041,  // "000A": byte 0x00A0
        AreaM = 0x30303130,  // "0010": byte 0x0100
        AreaD = 0x45303034,  // "E004": extended byte 0x4000
        AreaS = 0x30303030,  // "0000": byte 0x0000
        AreaTS = 0x30303043, // "000C": byte 0x00C0
        AreaCS = 0x30303143, // "001C": byte 0x01C0
        AreaTN = 0x45303038, // "E008": extended byte 0x0800
        AreaCN = 0x45303041  // "E00A": extended byte 0x0A00
    };

    explicit LibMitsubishi_FX_serial(QObject *parent = nullptr);

    using CTransferDriver::ReadVariable;
    using CTransferDriver::WriteVariable;

    // Area code from the device name the text begins with (any case, longest
    // name first); 0 when it is none of X, Y, M, D, S, TS, CS, TN, CN.
    int getArea(QString text);
    // The decimal number after the device name (after the first character when
    // the text begins with none); 0 when it is not one.
    int getAddr(QString text);

    // The device is taken from `text`, which also says whether X and Y numbers
    // are octal; `area` and `n` (what getArea and getAddr make of it) are not
    // needed. ReadVariable and WriteVariable parse their text once and do not
    // come through here.
    CLabelVariable Read_data(int area, int n, DataType type, int count, QString text);
    CLabelVariable Write_data(CLabelVariable value, int area, int n, DataType type, int count, QString text);

    // Parses an address text into *dev. 0 valid; 3 no known device name;
    // 5 the number is missing, not decimal (X, Y: not octal) or outside the
    // devices the programming port reaches, or a dot on a bit device or not
    // followed by a bit index 0..15 (registers: D200.3). A known device name
    // sets dev->readOnly and dev->wordDevice even when its number is refused.
    static int parseAddress(const QString &text, FxDevice *dev);
    // Device bytes for count elements of type (CValueCodec::byteLength).
    static qint64 byteLength(int type, int count);

    CmdMitsubishi_FX_serial &cmd() { return m_link; }

protected:
    TransferTarget parseTarget(const QString &text) override;
    int readPiece(const TransferTarget &target, int address, int units, const QString &text,
                  QByteArray *wire) override;
    int writePiece(const TransferTarget &target, bool bitUnits, int address, int units,
                   const QString &text, const QByteArray &wire) override;

private:
    CmdMitsubishi_FX_serial m_link;
};
