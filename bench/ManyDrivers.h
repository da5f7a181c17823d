#pragma once
// 500 drivers in one process, against a simulator process of their own so its
// memory stays out of the figures: resident memory each driver adds after its
// first read, and one polling round (a one-word read on every driver) against
// the raw client's round over as many connections.

#include <QJsonObject>

// Prints its lines; *allOk becomes false when a call failed.
QJsonObject manyDrivers(bool quick, bool *allOk);
