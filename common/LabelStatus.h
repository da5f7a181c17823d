#pragma once
// The result codes a driver puts into CLabelVariable::status. Plain enumerators,
// so a status is still the int the host reads.

enum LabelStatus : int {
    StatusOk = 0,
    StatusNotCompleted = 1,      // a fresh value: nothing has happened yet
    StatusBadDataType = 2,       // no element list for the type, or none the device takes
    StatusUnknownArea = 3,       // no device letter of the plug-in
    StatusNothingToTransfer = 4, // count <= 0, byte length 0, too few elements, odd 8-bit write
    StatusBadDevice = 5,         // device number or bit index unusable (a bit of a word written), past the
                                 // area's end, or a text that does not fit its tag
    StatusBusy = 6,              // another call of the same driver is running, or it comes from another thread
    StatusLinkFailed = 7,        // answer refused or malformed (link result -1)
    StatusNoAnswer = 8,          // nothing came back (link result -2)
    StatusNotConnected = 9       // the link is not usable (link result -3)
};
