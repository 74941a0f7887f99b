// Copying a file onto the band's disk in pieces, so that a band pulled out
// mid-copy is noticed at once instead of after the whole file.
#pragma once

#include <QString>

#include <functional>

enum class CopyOutcome { Copied, Failed, Stopped };

// Copies from into to, which must not exist yet (a copy never overwrites),
// and pushes it out to the device. stopRequested is asked between pieces.
// A copy that fails or is stopped leaves no partial file behind. sha256, when
// given, gets the SHA-256 of the bytes copied (hex) once the copy succeeded.
CopyOutcome copyFileToDisk(const QString &from, const QString &to,
                           const std::function<bool()> &stopRequested, QString *sha256 = nullptr);
