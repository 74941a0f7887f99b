// Copying a file onto the band's disk in pieces, so that a band pulled out
// mid-copy is noticed at once instead of after the whole file.
#pragma once

#include <QString>

#include <functional>

enum class CopyOutcome { Copied, Failed, Stopped };

struct CopyResult {
    CopyOutcome outcome = CopyOutcome::Failed;
    QString error;      // why it failed, one English line ("No space left on device")
    QString sha256;     // of the source file as copied (hex); empty when not known
    QString diskSha256; // of the file as read back from the disk; empty when not read back
};

// Copies from into to and pushes it out to the device. A file already at to
// is replaced only once the new one is whole and on the device (written
// under a temporary name, then renamed over it), so a copy that fails or is
// stopped leaves the disk as it was. The copy is then read back from the
// device and compared with the source; a difference fails the copy and the
// file goes. stopRequested is asked between pieces.
CopyResult copyFileToDisk(const QString &from, const QString &to,
                          const std::function<bool()> &stopRequested);
