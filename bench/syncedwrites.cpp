#include "syncedwrites.h"

#include "childprocess.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

std::vector<double> bench::syncedWrites(const QString &folder, int count)
{
    std::vector<double> ms;
    const QByteArray path = QFile::encodeName(QDir(folder).filePath("floor"));
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const QByteArray page(4096, 'x');
    for (int i = 0; i < count; ++i) {
        const int64_t start = monotonicNs();
        if (pwrite(fd, page.constData(), page.size(), off_t(i) * page.size()) != page.size() || fdatasync(fd) != 0)
            std::fprintf(stderr, "floor write failed\n");
        ms.push_back(double(monotonicNs() - start) / 1e6);
    }
    close(fd);
    return ms;
}
