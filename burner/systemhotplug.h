// The platform's own hot-plug input: udev and the mount table on Linux,
// device notices and drive letters on Windows.
#pragma once

#include "hotplugsource.h"

#include <memory>

std::unique_ptr<HotplugSource> createSystemHotplugSource();
