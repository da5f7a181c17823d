#pragma once
// Driver class of the Lunetta plug-in (FX computer link, dedicated protocol
// format 1). Reads go out as WR (batch read in word units), writes as WW (word
// data) or BW (bools, one point per element).
//
// Address texts: a device name (either case; the longest name of the table the
// text begins with) followed by the device number: X, Y, M, S, D with up to four
// digits, octal for X and Y (X17 is the fifteenth input), decimal otherwise
// (D100, M8000, X17, S0); timer and counter contacts TS, CS and current values
// TN, CN with up to three decimal digits (TN5, CS12). The head device field is
// five characters: the name, then the number padded with zeros (D0100, TN005).
// A word device (D, TN, CN) may name a bit of the word after a dot, 0 to 15
// (D200.3): bools are read from there on; writes there are refused.

#include "CmdMitsubishi_FX_links.h"
#include "TransferDriver.h"

// One device of the computer link.
struct FxLinkArea {
    const char *name;  // upper-case device name, one or two letters
    int base;          // 8 (X, Y) or 10
    int maxNumber;     // highest device number sent
    bool bitDevice;    // in word units 16 devices make one word
    bool readOnly;     // timer and counter contacts: writes are refused
};

// A parsed address text.
struct FxLinkDevice {
    int status = 0;   // 0 valid; 3 unknown device name or empty text; 5 bad device number
    char letter = 0;  // the name's first letter: 'X', 'Y', 'M', 'S', 'D', 'T' or 'C'
    const FxLinkArea *area = nullptr;  // the device, unless status is 3
    int number = 0;   // device number (for X and Y the value of the octal digits)
    int bitIndex = -1; // word devices: the bit after a dot (D200.3), -1 without a dot

    bool bitDevice() const { return area && area->bitDevice; }
    bool octal() const { return area && area->base == 8; }
};

class LibMitsubishi_FX_links : public CTransferDriver
{
    Q_OBJECT
public:
    explicit LibMitsubishi_FX_links(QObject *parent = nullptr);

    static const DriverIdentity &identity();

    // Station number: the text as a decimal number (0 when it is none); its low
    // 8 bits go out with every request.
    void SetConnectPar(QString par) override;
    using CTransferDriver::ReadVariable;
    using CTransferDriver::WriteVariable;

    // A read of the head device made of the address text's letter and
    // `deviceNumber` (getAddr's form). ReadVariable parses its text once and
    // does not come through here.
    CLabelVariable Read_data(QString deviceNumber, DataType type, int count, QString address);

    // Address text without its device letter, padded with '0' on the left to at
    // least four characters.
    static QString getAddr(QString address);
    // The first letter of the device name (upper case) the address text starts
    // with (X, Y, M, S, D, TS, CS, TN, CN; either case); 0 otherwise.
    static int getArea(QString address);
    // Device letter and number of an address text; never reads past the text.
    static FxLinkDevice parseAddress(const QString &address);
    // Highest device number of a one-letter device (7777 octal for X and Y,
    // 9999 otherwise: what the four-digit field carries).
    static int maxDeviceNumber(char letter);
    // The digits of the head device field after the name (four for one-letter
    // names, octal for X and Y; three for two-letter names); empty when the
    // number is outside the device.
    static QString deviceNumberText(char letter, int number);
    static QString deviceNumberText(const FxLinkArea &area, int number);
    // Words a WR or WW moves for `count` elements of `type` (DT_Bool in whole
    // words of 16 points); 0 for types without a decoder and for count <= 0.
    static qint64 wordsFor(int type, qint64 count);

    int station() const { return m_station; }
    CmdMitsubishi_FX_links &fxLink() { return m_link; }

protected:
    TransferTarget parseTarget(const QString &text) override;
    int readPiece(const TransferTarget &target, int address, int units, const QString &text,
                  QByteArray *wire) override;
    int writePiece(const TransferTarget &target, bool bitUnits, int address, int units,
                   const QString &text, const QByteArray &wire) override;

private:
    CmdMitsubishi_FX_links m_link;
    int m_station = 0;
};
