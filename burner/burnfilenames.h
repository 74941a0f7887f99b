#pragma once

#include <QString>

#include <utility>

// The two files every burn copies onto the band, as named in def.xml.
struct BurnFileNames {
    BurnFileNames() = default;
    BurnFileNames(QString cfg, QString bin, QString definitionSha256 = QString())
        : cfgName(std::move(cfg)), binName(std::move(bin)), defSha256(std::move(definitionSha256))
    {
    }

    QString cfgName;   // the configuration file
    QString binName;   // the firmware image
    QString defSha256; // of the def.xml they were read from
};
