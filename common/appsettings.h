// Process-wide toolkit settings that both programs make at start-up.
#pragma once

// Call once the application object exists and before any window is built.
// Sources are UTF-8, so no text codecs need setting.
void applyAppSettings();
