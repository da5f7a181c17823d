#pragma once
// Faults the simulator can put into its answers, to drive the hosts' failure paths.
//
//   KIND[:ARG][@N]
//
// noanswer        swallow the request: no answer at all
// late:MS         answer after MS milliseconds; answers go out strictly in order,
//                 so every answer queued behind it waits too
// split:MS        send the first half of the answer, pause MS milliseconds, send the rest
//                 (over UDP two datagrams)
// truncate        send only the first half of the answer
// garbage         send as many bytes as the answer has, none of them a valid answer
// badsum          spoil the answer's check information as the protocol's handler
//                 does it (ProtocolHandler::badSum: a wrong sum check, a length
//                 one too large, a subheader without its answer bit; an answer
//                 with nothing to spoil, such as ACK, goes out unchanged)
// nak[:CODE]      refuse the request with the protocol's error answer carrying
//                 CODE (hexadecimal) where the protocol has one, else its
//                 default (Served::refusal). A refused write leaves memory
//                 unchanged. --help tells what both do in each protocol, from
//                 the protocol table (SimProtocolRegistry).
// close           close the TCP connection instead of answering (UDP, pty and
//                 serial lines: send nothing)
// noise:HEX       send the bytes HEX (1 to 64 of them) right before the answer
// vanish          the device goes away for good: a pty or serial endpoint closes
//                 (the client's port sees a hang-up), a TCP connection drops
// @N              only every Nth request (N, 2N, 3N, ... counted over all endpoints
//                 of the simulator from 1); without it every request.
//
// A fault only hits a valid request that would have been answered normally; error
// answers and the silence towards other stations stay as they are. Apart from nak
// every kind lets a write take effect before the answer is spoiled: the request
// reached the PLC, its answer went wrong on the way back. Several faults may be
// set; the first one (in the order given) whose @N matches the request wins.

#include <QByteArray>
#include <QString>

struct SimFault
{
    enum Kind { NoAnswer, Late, Split, Truncate, Garbage, BadSum, Nak, Close, Noise, Vanish };
    Kind kind = NoAnswer;
    int arg = -1;     // milliseconds (late, split) or the error code (nak), -1: default
    QByteArray bytes; // noise
    int every = 1;
    QString text;

    bool hits(int requestNumber) const { return every > 0 && requestNumber % every == 0; }
    static bool parse(const QString &faultText, SimFault *out, QString *error);
    static QString syntaxHelp();
};
