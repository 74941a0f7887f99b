// lineview: the line's live page. Serves the page and its API from the
// line's server or one station's results.db until told to stop (SIGINT,
// SIGTERM), then lets every live page go and ends.
#include "lineapi.h"
#include "recordsource.h"
#include "runfeed.h"
#include "useradd.h"
#include "userfile.h"
#include "viewoptions.h"
#include "webserver.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <thread>

namespace {

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "lineview: %s\n", qPrintable(message));
    return code;
}

int serve(const ViewOptions &options)
{
    RecordSource source;
    QString error;
    if (!source.setLocation(options.database, &error))
        return fail(2, error);
    std::unique_ptr<UserFile> users;
    if (!options.usersFile.isEmpty()) {
        users = std::make_unique<UserFile>();
        if (!users->load(options.usersFile, &error))
            return fail(2, error);
    }
    if (options.listensBeyondLoopback() && !options.usesTls())
        std::fprintf(stderr, "lineview: serving %s without TLS: passwords and cookies cross the network in clear\n",
                     qPrintable(options.host));

    LineApi api(source, options);
    RunFeed feed(api, source);
    if (!feed.start(&error))
        return fail(1, error);
    WebServer server(options, api, feed, users.get());
    if (!server.bind(&error))
        return fail(1, error);
    std::fprintf(stderr, "lineview: serving %s://%s:%d/ from %s\n", options.usesTls() ? "https" : "http",
                 qPrintable(options.host), options.port, qPrintable(source.describe()));

    // Only this thread takes the stop signals; the server's threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    std::thread serving([&server] { server.serve(); });
    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    serving.join();
    source.forgetConnection();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread starts, so that every thread inherits it.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lineview"));
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("user")) {
        return runUserAdd(arguments.mid(1));
    }
    ViewOptions options;
    QString error, help;
    if (!parseViewOptions(arguments, &options, &error, &help))
        return fail(2, error + QStringLiteral(" (lineview --help)"));
    if (!help.isEmpty()) {
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    return serve(options);
}
