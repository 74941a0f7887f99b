#include "volumeowner.h"

#include "usbids.h"

namespace {

// Deeper trees than this are not real; the bound keeps a looping tree
// from hanging the caller.
constexpr int kMaxDepth = 32;

} // namespace

bool usbOwnerOf(const QString &diskInstanceId,
                const std::function<QString(const QString &)> &parentOf, quint16 ids[2],
                QString *ownerId)
{
    ids[0] = 0;
    ids[1] = 0;
    QString id = diskInstanceId;
    for (int depth = 0; depth < kMaxDepth && !id.isEmpty(); ++depth) {
        // A USB device, or one interface of a composite one (…&MI_00).
        if (id.startsWith(QLatin1String("USB\\"), Qt::CaseInsensitive)) {
            if (ownerId)
                *ownerId = id;
            return parseUsbIds(id, ids);
        }
        id = parentOf(id);
    }
    return false;
}
