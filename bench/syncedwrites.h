// The floor of a durable commit: one 4 KiB write plus fdatasync of a file in
// folder, count times; each one's time in milliseconds.
#pragma once

#include <QString>

#include <vector>

namespace bench {
std::vector<double> syncedWrites(const QString &folder, int count);
} // namespace bench
