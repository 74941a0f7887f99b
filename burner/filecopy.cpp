#include "filecopy.h"

#include "disksync.h"

#include <QCryptographicHash>
#include <QFile>

#include <memory>

namespace {

// Small enough that a stop is seen within milliseconds even on a slow disk.
constexpr qint64 kPieceBytes = 256 * 1024;

CopyOutcome copyPieces(QFile &in, QFile &out, const std::function<bool()> &stopRequested,
                       QCryptographicHash &hash)
{
    const auto buffer = std::make_unique<char[]>(kPieceBytes);
    for (;;) {
        if (stopRequested())
            return CopyOutcome::Stopped;
        const qint64 got = in.read(buffer.get(), kPieceBytes);
        if (got < 0)
            return CopyOutcome::Failed;
        if (got == 0)
            break;
        if (out.write(buffer.get(), got) != got)
            return CopyOutcome::Failed;
        // Hashed on the way, so the station's record costs no second read.
        hash.addData(QByteArrayView(buffer.get(), got));
    }
    // The step only counts once the file is on the device: the band restarts
    // by itself soon after and must find the whole file.
    return syncFileToDisk(out) ? CopyOutcome::Copied : CopyOutcome::Failed;
}

} // namespace

CopyOutcome copyFileToDisk(const QString &from, const QString &to,
                           const std::function<bool()> &stopRequested, QString *sha256)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return CopyOutcome::Failed;
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return CopyOutcome::Failed;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const CopyOutcome outcome = copyPieces(in, out, stopRequested, hash);
    if (outcome != CopyOutcome::Copied)
        out.remove(); // ours: NewOnly made it
    else if (sha256)
        *sha256 = QString::fromLatin1(hash.result().toHex());
    return outcome;
}
