#pragma once
// Driver class of the Lunetta plug-in (FX computer link, dedicated protocol
// format 1). Reads go out as WR (batch read in word units), writes as WW (word
// data) or BW (bools, one point per element).
//
// Address texts: a device letter X, Y, M, S or D (either case) followed by up
// to four digits, octal for X and Y (X17 is the fifteenth input), decimal
// otherwise: D100, M8000, X17, S0.

#include "CmdMitsubishi_FX_links.h"
#include "TransferDriver.h"

// A parsed address text.
struct FxLinkDevice {
    int status = 0;   // 0 valid; 3 unknown device letter or empty text; 5 bad device number
    char letter = 0;  // 'X', 'Y', 'M', 'S' or 'D'
    int number = 0;   // device number (for X and Y the value of the octal digits)

    // X, Y, M and S hold bits: in word units 16 of them make one word.
    bool bitDevice() const { return letter == 'X' || letter == 'Y' || letter == 'M' || letter == 'S'; }
    bool octal() const { return letter == 'X' || letter == 'Y'; }
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
    // The device letter in upper case when the address text starts with one of
    // X, Y, M, S, D (either case); 0 otherwise.
    static int getArea(QString address);
    // Device letter and number of an address text; never reads past the text.
    static FxLinkDevice parseAddress(const QString &address);
    // Highest device number the four-digit device field can carry (7777 octal for
    // X and Y, 9999 otherwise).
    static int maxDeviceNumber(char letter);
    // The four-digit device field of device `number` (octal for X and Y); empty
    // when the number does not fit.
    static QString deviceNumberText(char letter, int number);
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
