#pragma once
// The value container exchanged by value between the host and a driver plug-in.
// Its nine fields, their order and their types are shared with the host: do not
// reorder, add or remove fields, and keep the class free of virtual functions.

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

// The host's value type codes. The drivers transfer codes 1 to 12. The host
// passes any int in a DataType argument (-1, 12345, ...); the fixed underlying
// type makes every such value a valid DataType, so holding and comparing one is
// well defined (without it only 0..63 would be).
enum DataType : int {
    DT_None = 0,
    DT_Bool = 1,
    DT_Int8 = 2,
    DT_UInt8 = 3,
    DT_Int16 = 4,
    DT_UInt16 = 5,
    DT_Int32 = 6,
    DT_UInt32 = 7,
    DT_Float = 8,
    DT_Int64 = 9,
    DT_UInt64 = 10,
    DT_Double = 11,
    DT_String = 12,
    DT_Int16_V1 = 13, DT_Int16_V2 = 14,
    DT_UInt16_V1 = 15, DT_UInt16_V2 = 16,
    DT_Int32_V1 = 17, DT_Int32_V2 = 18, DT_Int32_V3 = 19, DT_Int32_V4 = 20,
    DT_UInt32_V1 = 21, DT_UInt32_V2 = 22, DT_UInt32_V3 = 23, DT_UInt32_V4 = 24,
    DT_Code25 = 25, DT_Code26 = 26, DT_Code27 = 27, DT_Code28 = 28,
    DT_Code29 = 29, DT_Code30 = 30, DT_Code31 = 31, DT_Code32 = 32,
    DT_Float_V1 = 33, DT_Float_V2 = 34, DT_Float_V3 = 35, DT_Float_V4 = 36,
    DT_Double_V1 = 37, DT_Double_V2 = 38, DT_Double_V3 = 39, DT_Double_V4 = 40
};

class CLabelVariable
{
public:
    CLabelVariable();

    // Accessors: element `index` of the list held in `value`. They set
    // accessStatus (0 ok, 10 index out of range, 11 no list of that element type)
    // and return the zero value on failure.
    bool atbool(int index);
    char atchar(int index);
    char atInt8(int index);
    unsigned char atUInt8(int index);
    short atInt16(int index);
    unsigned short atUInt16(int index);
    int atInt32(int index);
    unsigned int atUInt32(int index);
    float atFloat(int index);
    long long atInt64(int index);
    unsigned long long atUInt64(int index);
    double atDouble(int index);
    QString atQString(int index);

    // Element-wise arithmetic; the element type comes from the left operand's
    // dataType, the result's metadata from the right operand.
    CLabelVariable operator+(const CLabelVariable &right);
    CLabelVariable operator-(const CLabelVariable &right);
    CLabelVariable operator*(const CLabelVariable &right);
    CLabelVariable operator/(const CLabelVariable &right);
    bool operator==(const CLabelVariable &right);

    int status;
    int accessStatus;
    QVariant value;
    QDateTime timestamp;
    QString address;
    int count;
    int dataType;
    int auxCode;
    QString auxText;
};

// Registers the QList<T> element lists (T = bool, char, unsigned char, short,
// unsigned short, int, unsigned int, float, long long, unsigned long long,
// double, QString) with Qt's meta-type system. Safe to call more than once;
// the driver shell calls it on construction, hosts call it at start.
void registerLabelMetaTypes();
