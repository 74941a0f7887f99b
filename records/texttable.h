// Output for terminals and scripts.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QStringList>

// Columns padded to their widest cell.
QString textTable(const QStringList &header, const QList<QStringList> &rows);
// One compact JSON object and its line end.
QString jsonLine(const QJsonObject &object);
