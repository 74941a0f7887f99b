// Why a path cannot be the band's serial port, in words an operator can act
// on: a folder, a plain file or /dev/null given by mistake, a port another
// program holds, a port without permission. The link itself only says that
// the open failed.
#pragma once

#include "exitcodes.h"

#include <QString>

#include <optional>

struct DeviceProblem {
    ExitCode code;
    QString message;
};

// Whether the device is there now: a band that leaves takes its port (or
// the virtual band's pipe) with it. A port in use by a link still counts.
bool deviceExists(const QString &path);
// Before the link opens: a path that is no terminal device can never be a
// serial port (exit code 2). nullopt when it may be one.
std::optional<DeviceProblem> notADevice(const QString &path);
// Before anything runs on a --device path: missing (exit code 3) or
// notADevice. nullopt when a band may be there.
std::optional<DeviceProblem> unusableDevice(const QString &path);
// After the link failed to open path: what stands in the way, found by
// opening it the same way and asking. Always gives a reason.
DeviceProblem whyNotOpened(const QString &path);
