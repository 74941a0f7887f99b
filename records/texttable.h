// Columns padded to their widest cell, for terminal output.
#pragma once

#include <QList>
#include <QStringList>

QString textTable(const QStringList &header, const QList<QStringList> &rows);
