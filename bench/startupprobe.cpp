#include "startupprobe.h"

#include "childprocess.h"

#include <QApplication>
#include <QTimer>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

// notify() sees every event; a paint is complete, backing store flushed,
// once the outermost delivery that contained it has returned.
class FirstPaintProbe : public QApplication {
public:
    FirstPaintProbe(int &argc, char **argv, int64_t mainNs) : QApplication(argc, argv), mainNs(mainNs) {}

    bool notify(QObject *receiver, QEvent *event) override
    {
        ++depth;
        if (event->type() == QEvent::Paint)
            painted = true;
        const bool handled = QApplication::notify(receiver, event);
        if (--depth == 0 && painted && !reported) {
            reported = true;
            std::printf("first-paint %" PRId64 " main %" PRId64 "\n", monotonicNs(), mainNs);
            std::fflush(stdout);
            QTimer::singleShot(0, this, [] {
                QApplication::closeAllWindows();
                QApplication::quit();
            });
        }
        return handled;
    }

private:
    int64_t mainNs;
    int depth = 0;
    bool painted = false;
    bool reported = false;
};

std::string ownPath()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, size_t(length)) : std::string();
}

} // namespace

int runStartupChild(int &argc, char **argv, int64_t mainNs,
                    const std::function<int(QApplication &)> &start)
{
    FirstPaintProbe app(argc, argv, mainNs);
    return start(app);
}

void printStartupFigures(int runs)
{
    std::vector<double> total, inMain, rss;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        const ChildResult child = runChild({ownPath(), kStartupChild});
        const size_t at = child.output.find("first-paint ");
        int64_t paintNs = 0, mainNs = 0;
        if (!child.started || child.exitStatus != 0 || at == std::string::npos
            || std::sscanf(child.output.c_str() + at, "first-paint %" SCNd64 " main %" SCNd64,
                           &paintNs, &mainNs) != 2) {
            ++failed;
            continue;
        }
        total.push_back(double(paintNs - child.spawnNs) / 1e6);
        inMain.push_back(double(paintNs - mainNs) / 1e6);
        rss.push_back(child.maxRssMiB);
    }
    std::fprintf(stderr,
                 "start-up, %d child runs (%d failed): spawn to first paint median %.1f ms "
                 "(max %.1f), of which main() to first paint %.1f ms\n"
                 "peak memory (child ru_maxrss): median %.1f MiB, max %.1f MiB\n",
                 runs, failed, percentile(total, 0.5), percentile(total, 1.0),
                 percentile(inMain, 0.5), percentile(rss, 0.5), percentile(rss, 1.0));
}

void installQuietMessageHandler()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtDebugMsg || type == QtInfoMsg || message.contains(QLatin1StringView("propagateSizeHints")))
            return;
        std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}

} // namespace bench
