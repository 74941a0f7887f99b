#include "filecopy.h"

#include "filesync.h"
#include "sha256.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// Small enough that a stop is seen within milliseconds even on a slow disk.
constexpr qint64 kPieceBytes = 256 * 1024;

using Buffer = std::unique_ptr<char[]>;

Buffer newPiece() { return std::make_unique<char[]>(kPieceBytes); }

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

CopyResult failed(const QString &error)
{
    CopyResult result;
    result.error = error;
    return result;
}

CopyResult stopped()
{
    CopyResult result;
    result.outcome = CopyOutcome::Stopped;
    result.error = QStringLiteral("stopped");
    return result;
}

// The whole file's SHA-256, empty when it cannot be read or the hash is cancelled.
QString hashFile(QFile &file, const std::atomic<bool> &cancel)
{
    Sha256 hash;
    const Buffer piece = newPiece();
    for (;;) {
        if (cancel)
            return QString();
        const qint64 got = file.read(piece.get(), kPieceBytes);
        if (got < 0)
            return QString();
        if (got == 0)
            return hash.hexResult();
        hash.add(piece.get(), got);
    }
}

// The source's hash, worked out on a thread of its own while the copy, the
// flush and the read-back wait for the device.
class BackgroundHash {
public:
    explicit BackgroundHash(const QString &path)
        : worker([this, path] {
              QFile file(path);
              if (file.open(QIODevice::ReadOnly))
                  hex = hashFile(file, cancel);
          })
    {
    }
    ~BackgroundHash()
    {
        cancel = true;
        if (worker.joinable())
            worker.join();
    }
    QString result()
    {
        if (worker.joinable())
            worker.join();
        return hex;
    }

private:
    std::atomic<bool> cancel{false};
    QString hex;
    std::thread worker; // last, so that it starts once the rest is built
};

// Copies in pieces into out; an empty error means done.
CopyResult writePieces(QFile &in, QFileDevice &out, const std::function<bool()> &stopRequested)
{
    const Buffer piece = newPiece();
    for (;;) {
        if (stopRequested())
            return stopped();
        const qint64 got = in.read(piece.get(), kPieceBytes);
        if (got < 0)
            return failed(in.errorString());
        if (got == 0)
            break;
        // A write cut short says why only when the next one fails.
        for (qint64 done = 0; done < got;) {
            const qint64 written = out.write(piece.get() + done, got - done);
            if (written <= 0)
                return failed(out.errorString());
            done += written;
        }
    }
    // The step only counts once the file is on the device: the band restarts
    // by itself soon after and must find the whole file.
    if (!syncFileToDisk(out))
        return failed(out.error() != QFileDevice::NoError ? out.errorString() : systemError());
    CopyResult done;
    done.outcome = CopyOutcome::Copied;
    return done;
}

// Reads the copy back from the device and compares it with the source piece
// by piece; an empty error means they are the same.
CopyResult readBack(QFile &source, const QString &copyPath, const std::function<bool()> &stopRequested)
{
    QFile copy(copyPath);
    if (!openForReadBack(copy))
        return failed(QStringLiteral("cannot read it back: ") + systemError());
    if (!source.seek(0))
        return failed(source.errorString());
    const Buffer fromDisk = newPiece();
    const Buffer fromSource = newPiece();
    for (qint64 offset = 0;; ) {
        if (stopRequested())
            return stopped();
        const qint64 got = copy.read(fromDisk.get(), kPieceBytes);
        const qint64 expected = source.read(fromSource.get(), kPieceBytes);
        if (got < 0)
            return failed(QStringLiteral("cannot read it back: ") + copy.errorString());
        if (expected < 0)
            return failed(source.errorString());
        if (got != expected || std::memcmp(fromDisk.get(), fromSource.get(), size_t(got)) != 0)
            return failed(QStringLiteral("the copy read back from the disk differs from the source near byte %1").arg(offset));
        if (got == 0)
            break;
        offset += got;
    }
    CopyResult same;
    same.outcome = CopyOutcome::Copied;
    return same;
}

QString hashOfFile(const QString &path)
{
    QFile file(path);
    const std::atomic<bool> never{false};
    return openForReadBack(file) ? hashFile(file, never) : QString();
}

// Writes the copy under a temporary name and renames it over the file it
// replaces once it is whole and on the device.
CopyResult replaceFile(QFile &in, const QString &to, const std::function<bool()> &stopRequested)
{
    QSaveFile out(to);
    out.setDirectWriteFallback(false); // never write over the old file in place
    // Unbuffered: each piece goes to the system at once, and a full disk is
    // told by the write that meets it, with the system's own reason.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed(out.errorString());
    const CopyResult result = writePieces(in, out, stopRequested);
    if (result.outcome != CopyOutcome::Copied)
        return result; // the temporary file goes with out
    return out.commit() ? result : failed(out.errorString());
}

// With nothing to replace the copy goes straight under its name, which
// spares the disk a rename and its journal entry; a copy that fails or is
// stopped is removed again.
CopyResult writeNewFile(QFile &in, const QString &to, const std::function<bool()> &stopRequested)
{
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return failed(out.errorString());
    const CopyResult result = writePieces(in, out, stopRequested);
    if (result.outcome != CopyOutcome::Copied)
        out.remove(); // ours: NewOnly made it
    return result;
}

} // namespace

CopyResult copyFileToDisk(const QString &from, const QString &to,
                          const std::function<bool()> &stopRequested)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return failed(in.errorString());
    BackgroundHash sourceHash(from);
    CopyResult result = QFileInfo::exists(to) ? replaceFile(in, to, stopRequested)
                                              : writeNewFile(in, to, stopRequested);
    if (result.outcome != CopyOutcome::Copied)
        return result;
    if (!syncFolderToDisk(QFileInfo(to).absolutePath()))
        return failed(QStringLiteral("cannot flush the disk's folder: ") + systemError());

    result = readBack(in, to, stopRequested);
    result.sha256 = sourceHash.result();
    if (result.outcome == CopyOutcome::Copied) {
        // Byte for byte the same as the source, so the same hash.
        result.diskSha256 = result.sha256;
        if (result.sha256.isEmpty())
            return failed(QStringLiteral("cannot hash the source"));
        return result;
    }
    if (result.outcome == CopyOutcome::Failed)
        result.diskSha256 = hashOfFile(to);
    // A copy that is not the source must not be started by the band.
    QFile::remove(to);
    return result;
}
