#pragma once
// In-process PLC simulator: the same core the plcsim tool runs. It serves the
// protocols of SimProtocolRegistry (fxport, fxlink, mc1e, mc3e) on TCP servers,
// UDP ports and pseudo-terminals from a worker thread of its own, over one shared device
// memory, so a test can drive a plug-in on its own thread (which blocks in the
// plug-in's waits) while the simulator answers.
//
// The simulator shares no frame code with the plug-ins: it is written from the
// PLC's side (memory map and frame rules of each protocol).

#include "ProtocolHandler.h"

#include <QString>
#include <QStringList>
#include <memory>

class PlcMemory;
class SimulatorWorker;

class PlcSimulator
{
public:
    PlcSimulator();
    ~PlcSimulator();  // stops the worker thread, closes every endpoint

    // Adds an endpoint and starts serving it at once. protocol: a name of
    // SimProtocolRegistry (fxport, fxlink, mc1e, mc3e; any case). endpoint:
    // "HOST:PORT" (port 0 picks a free one), "udp:HOST:PORT" (the same for UDP:
    // each datagram one request, each answer one datagram back to its sender's
    // address and port, in order), "pty" (a new pseudo-terminal pair;
    // "pty,4800" paces it like a 4800-baud line: one character every 2.08 ms,
    // the answer after the request's own line time) or a serial device path.
    // Returns the endpoint a plug-in should open ("127.0.0.1:40123",
    // "udp:127.0.0.1:40124", "/dev/pts/4"), or an empty string with *error set.
    QString addEndpoint(const QString &protocol, const QString &endpoint, QString *error = nullptr);

    // Fault injection, same syntax as plcsim --fault (see faultSyntaxHelp()).
    bool addFault(const QString &faultText, QString *error = nullptr);
    void clearFaults();
    static QString faultSyntaxHelp();

    void setStation(int station);   // computer-link station number (default 0)
    void setModel(SimModel model);  // default SimModel::Any
    // "fx3u", "q" or "any" (any case); false for another name.
    static bool modelNamed(const QString &name, SimModel *model);
    void setVerbose(bool on);       // hex log of every request and answer on stderr
    // Requests received so far over all endpoints: every complete request frame,
    // whether answered normally, refused, or (another computer-link station's)
    // not answered at all. Line noise that is dropped and the FX port's ENQ
    // probe are not requests. Fault @N counts run on the same numbers.
    int requestCount() const;
    // TCP connections accepted so far over all endpoints.
    int connectionCount() const;

    // Stops serving one TCP endpoint (closes server and its clients) / starts
    // it again on the same port: a PLC that goes away and comes back.
    void stopEndpoint(const QString &endpoint);
    bool restartEndpoint(const QString &endpoint);

    // Device memory (thread safe). Areas: the device letter ('X', 'D', ...) or
    // PlcMemory's code of a two-letter device (PlcMemory::AreaTN, ...). Numbers
    // are plain device numbers (X/Y as integers: the caller converts octal or
    // hexadecimal notation).
    bool bit(char area, int number) const;
    void setBit(char area, int number, bool on);
    quint16 word(char area, int number) const;
    void setWord(char area, int number, quint16 value);
    void clearMemory();
    PlcMemory &memory();

private:
    std::unique_ptr<SimulatorWorker> d;
};
