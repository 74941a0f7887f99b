#include "appendonly.h"

#include <QFile>

bool openAppendOnly(QFile &file, QString *why)
{
    // O_APPEND: the kernel puts each write at the end.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    *why = file.errorString();
    return false;
}
