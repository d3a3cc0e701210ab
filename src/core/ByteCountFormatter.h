#pragma once

#include <QString>

// The file-style byte count used for every size text: decimal units, "Zero KB" for zero,
// whole bytes below 1000, KB without decimals, MB with one, GB and larger with two.
QString formatByteCount(qint64 bytes);
