#include "appendonly.h"

#include <QFile>

bool openAppendOnly(QFile &file, const QString &path, QString *why)
{
    file.setFileName(path);
    // O_APPEND: the kernel puts each write at the end.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    *why = file.errorString();
    return false;
}
