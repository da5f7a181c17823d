#pragma once
// A protocol as the PLC sees it: its handler takes the bytes a connection has
// received so far, finds the first request in them and works out the answer.
// Handlers keep no state of their own; the bytes of an unfinished request stay
// in the connection's buffer until the rest arrives. Each protocol has a file of
// its own in protocols/ and a row in SimProtocolRegistry.cpp.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class PlcMemory;

// Which PLC the simulator plays (--model): Any takes whatever its memory
// holds; Fx3u refuses on the FX-facing protocols what an FX3U refuses; Q
// refuses on 3E frames what a Q CPU with default settings refuses.
enum class SimModel { Any, Fx3u, Q };

struct ServeContext
{
    PlcMemory *memory = nullptr;
    int station = 0;        // computer-link station number this PLC answers to
    SimModel model = SimModel::Any;
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
    QString rule;               // the model's rule the request broke (logged), else empty
};

class ProtocolHandler
{
public:
    virtual ~ProtocolHandler() = default;
    virtual Served serve(const QByteArray &buffer, const ServeContext &ctx) const = 0;
    // The answer with its check information spoiled (fault "badsum").
    virtual QByteArray badSum(const QByteArray &answer) const = 0;

    // The handler of a protocol of the registry (any case), nullptr for another name.
    static std::unique_ptr<ProtocolHandler> create(const QString &protocol);
    // The registry's protocol names, in its order.
    static QStringList protocols();
};
