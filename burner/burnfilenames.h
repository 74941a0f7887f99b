#pragma once

#include <QString>

// The two files every burn copies onto the band, as named in def.xml.
struct BurnFileNames {
    QString cfgName; // the configuration file
    QString binName; // the firmware image
    QString defSha256; // of the def.xml they were read from
};
