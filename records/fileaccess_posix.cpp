#include "fileaccess.h"

#include <QFile>
#include <QString>

#include <sys/stat.h>

bool readableByOthers(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}
