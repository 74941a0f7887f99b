#include "devicecheck.h"

std::optional<DeviceProblem> unusableDevice(const QString &path)
{
    if (!deviceExists(path))
        return DeviceProblem{ExitNoBand, QStringLiteral("no band: %1 does not exist").arg(path)};
    return notADevice(path);
}
