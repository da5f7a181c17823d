#pragma once
// The four protocols as the PLC sees them: each handler takes the bytes a
// connection has received so far, finds the first request in them and works out
// the answer. Handlers keep no state of their own; the bytes of an unfinished
// request stay in the connection's buffer until the rest arrives.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class PlcMemory;

struct ServeContext
{
    PlcMemory *memory = nullptr;
    int station = 0;        // computer-link station number this PLC answers to
};

struct Served
{
    enum Kind {
        NeedMore,   // no complete request yet: wait for more bytes
        Discard,    // leading bytes that cannot start a request: drop them silently
        Control,    // a control exchange (FX ENQ): answer, but it is no request
        Request     // one complete request (valid or not)
    };
    Kind kind = NeedMore;
    int consumed = 0;           // bytes of the buffer this step used up
    QByteArray answer;          // empty: the PLC stays silent
    bool normal = false;        // a valid request with its normal answer: faults may hit it
    std::function<void()> commit;                    // the memory change of a valid write
    std::function<QByteArray(int code)> refusal;     // the protocol's error answer; code < 0: default
};

class ProtocolHandler
{
public:
    virtual ~ProtocolHandler() = default;
    virtual QString name() const = 0;
    virtual Served serve(const QByteArray &buffer, const ServeContext &ctx) const = 0;
    // The answer with its check information spoiled (fault "badsum").
    virtual QByteArray badSum(const QByteArray &answer) const = 0;

    static std::unique_ptr<ProtocolHandler> create(const QString &protocol);
    static QStringList protocols();
};

// Memory map of the programming-port protocol (exposed for the tests and --help).
QString fxPortMemoryMapHelp();

// Memory area (PlcMemory's code) of an MC device code, 0 for a code not served:
// 1E codes are the two-byte value (D 0x4420), 3E codes one byte (D 0xA8).
char mc1eDeviceArea(int code);
char mc3eDeviceArea(int code);
