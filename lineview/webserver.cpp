#include "webserver.h"

#include "runrecord.h"

#include <httplib.h>

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace {

constexpr size_t kMaxBody = 16 * 1024;
constexpr size_t kMaxParameters = 20;
constexpr int kCatchUpPage = 500;
constexpr auto kKeepAlive = std::chrono::seconds(15);
constexpr size_t kSentSeqsKept = 20000;
constexpr const char *kCookie = "lineview_session";
constexpr int kWorkersBesideStreams = 16;

// The page may load only from its own origin; nothing may frame it.
constexpr const char *kContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self';"
    " object-src 'none'; base-uri 'none'; frame-ancestors 'none'; form-action 'self'";

std::string resource(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void answer(httplib::Response &response, const ApiAnswer &a)
{
    response.status = a.status;
    response.set_content(a.body.constData(), size_t(a.body.size()), a.contentType.constData());
}

void refuse(httplib::Response &response, int status, const QString &message)
{
    answer(response, ApiAnswer::error(status, message));
}

bool toParameters(const httplib::Request &request, QueryParameters *parameters, QString *error)
{
    if (request.params.size() > kMaxParameters) {
        *error = QStringLiteral("too many parameters");
        return false;
    }
    for (const auto &[name, value] : request.params) {
        const QString key = QString::fromStdString(name);
        if (parameters->contains(key)) {
            *error = QStringLiteral("%1: given twice").arg(key);
            return false;
        }
        parameters->insert(key, QString::fromStdString(value));
    }
    return true;
}

std::string cookieValue(const httplib::Request &request, const std::string &name)
{
    const std::string header = request.get_header_value("Cookie");
    size_t at = 0;
    while (at < header.size()) {
        const size_t end = std::min(header.find(';', at), header.size());
        std::string part = header.substr(at, end - at);
        part.erase(0, part.find_first_not_of(' '));
        if (part.compare(0, name.size() + 1, name + "=") == 0)
            return part.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

std::string eventText(const FeedEvent &e)
{
    return "id: " + std::to_string(e.seq) + "\nevent: run\ndata: " + e.json.toStdString() + "\n\n";
}

} // namespace

WebServer::WebServer(const ViewOptions &options, const LineApi &api, RunFeed &feed, const UserFile *users)
    : options(options), api(api), feed(feed), users(users),
      rates(options.requestsPerSecond, options.requestsPerSecond * 5.0),
      sessions(std::chrono::seconds(qint64(options.sessionMinutes * 60.0)))
{
    if (options.usesTls())
        http = std::make_unique<httplib::SSLServer>(options.tlsCert.toLocal8Bit().constData(),
                                                    options.tlsKey.toLocal8Bit().constData());
    else
        http = std::make_unique<httplib::Server>();
    page = resource(QStringLiteral(":/web/index.html"));
    script = resource(QStringLiteral(":/web/lineview.js"));
    style = resource(QStringLiteral(":/web/lineview.css"));
    chartJs = resource(options.chartJs);
    route();
}

WebServer::~WebServer() = default;

bool WebServer::bind(QString *error)
{
    if (!http->is_valid()) {
        *error = QStringLiteral("cannot use the certificate %1 with the key %2").arg(options.tlsCert, options.tlsKey);
        return false;
    }
    if (!http->bind_to_port(options.host.toStdString(), options.port)) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(options.host).arg(options.port);
        return false;
    }
    return true;
}

void WebServer::serve()
{
    http->listen_after_bind();
}

void WebServer::stop()
{
    feed.stop(); // the live pages' waits end first, so that their workers come back
    http->stop();
}

void WebServer::route()
{
    const int workers = options.maxStreams + kWorkersBesideStreams;
    http->new_task_queue = [workers] { return new httplib::ThreadPool(size_t(workers)); };
    http->set_payload_max_length(kMaxBody);
    http->set_read_timeout(10, 0);
    http->set_write_timeout(10, 0);
    http->set_keep_alive_max_count(100);
    http->set_keep_alive_timeout(5);
    // On every answer, those httplib gives before any route (a URI too long) too.
    httplib::Headers guard{{"Content-Security-Policy", kContentSecurityPolicy},
                           {"X-Content-Type-Options", "nosniff"},
                           {"Referrer-Policy", "no-referrer"},
                           {"Cache-Control", "no-store"}};
    if (options.usesTls())
        guard.emplace("Strict-Transport-Security", "max-age=31536000");
    http->set_default_headers(guard);

    http->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        return admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                        : httplib::Server::HandlerResponse::Handled;
    });

    const auto file = [](const std::string &body, const char *type) {
        return [&body, type](const httplib::Request &, httplib::Response &response) {
            if (body.empty()) {
                response.status = 404;
                return;
            }
            response.set_content(body, type);
        };
    };
    http->Get("/", file(page, "text/html; charset=utf-8"));
    http->Get("/lineview.js", file(script, "text/javascript; charset=utf-8"));
    http->Get("/lineview.css", file(style, "text/css; charset=utf-8"));
    http->Get("/chart.js", file(chartJs, "text/javascript; charset=utf-8"));

    http->Post("/api/login", [this](const httplib::Request &q, httplib::Response &r) { login(q, r); });
    http->Post("/api/logout", [this](const httplib::Request &q, httplib::Response &r) { logout(q, r); });
    http->Get("/api/session", [this](const httplib::Request &q, httplib::Response &r) { session(q, r); });
    http->Get("/api/events", [this](const httplib::Request &q, httplib::Response &r) { liveFeed(q, r); });

    const auto endpoint = [this](ApiAnswer (LineApi::*call)(const QueryParameters &) const) {
        return [this, call](const httplib::Request &request, httplib::Response &response) {
            QueryParameters parameters;
            QString error;
            if (!toParameters(request, &parameters, &error))
                return refuse(response, 400, error);
            answer(response, (api.*call)(parameters));
        };
    };
    http->Get("/api/filters", [this](const httplib::Request &, httplib::Response &r) { answer(r, api.filters()); });
    http->Get("/api/stations", endpoint(&LineApi::stations));
    http->Get("/api/yield", endpoint(&LineApi::yield));
    http->Get("/api/pareto", endpoint(&LineApi::pareto));
    http->Get("/api/locations", endpoint(&LineApi::locations));
    http->Get("/api/runs", endpoint(&LineApi::runs));
    http->Get("/api/runs.csv", [endpoint](const httplib::Request &request, httplib::Response &response) {
        endpoint(&LineApi::runsCsv)(request, response);
        if (response.status == 200)
            response.set_header("Content-Disposition", "attachment; filename=\"runs.csv\"");
    });
    http->Get("/api/unit", endpoint(&LineApi::unit));

    http->set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            refuse(response, response.status, QStringLiteral("request refused (HTTP %1)").arg(response.status));
    });
}

// The rate bound and the login gate.
bool WebServer::admit(const httplib::Request &request, httplib::Response &response)
{
    if (!rates.take(request.remote_addr)) {
        response.set_header("Retry-After", "1");
        refuse(response, 429, QStringLiteral("too many requests"));
        return false;
    }
    const bool open = request.path == "/api/login" || request.path == "/api/session"
                      || request.path.compare(0, 5, "/api/") != 0;
    if (users && !open && sessionUser(request).empty()) {
        refuse(response, 401, QStringLiteral("login required"));
        return false;
    }
    return true;
}

std::string WebServer::sessionUser(const httplib::Request &request)
{
    const std::string token = cookieValue(request, kCookie);
    if (token.empty())
        return {};
    const auto found = sessions.find(QByteArray::fromStdString(token));
    return found ? found->user.toStdString() : std::string();
}

std::string WebServer::sessionCookie(const std::string &token, long long maxAgeSeconds) const
{
    return std::string(kCookie) + "=" + token + "; HttpOnly; SameSite=Strict; Path=/; Max-Age="
           + std::to_string(maxAgeSeconds) + (options.usesTls() ? "; Secure" : "");
}

void WebServer::session(const httplib::Request &request, httplib::Response &response)
{
    QJsonObject state{{QStringLiteral("login_required"), users != nullptr}, {QStringLiteral("user"), QJsonValue()},
                      {QStringLiteral("expires_at"), QJsonValue()}};
    const std::string token = cookieValue(request, kCookie);
    if (const auto found = token.empty() ? std::nullopt : sessions.find(QByteArray::fromStdString(token))) {
        state.insert(QStringLiteral("user"), found->user);
        state.insert(QStringLiteral("expires_at"),
                     isoUtc(QDateTime::fromSecsSinceEpoch(std::chrono::duration_cast<std::chrono::seconds>(
                                                              found->expiresAt.time_since_epoch()).count(), Qt::UTC)));
    }
    answer(response, ApiAnswer::json(state));
}

void WebServer::login(const httplib::Request &request, httplib::Response &response)
{
    if (!users)
        return refuse(response, 404, QStringLiteral("this view has no logins"));
    // JSON only: a form posted from another site cannot send it.
    if (request.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return refuse(response, 415, QStringLiteral("send {\"name\", \"password\"} as application/json"));
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
    const QString name = body.value(QLatin1String("name")).toString();
    const QByteArray password = body.value(QLatin1String("password")).toString().toUtf8();
    if (name.isEmpty() || password.isEmpty())
        return refuse(response, 400, QStringLiteral("send {\"name\", \"password\"}"));
    LoginAttempt attempt = throttle.attempt(QString::fromStdString(request.remote_addr));
    if (!attempt.allowed()) {
        const long long wait = std::max<long long>(1, attempt.retryAfter().count());
        response.set_header("Retry-After", std::to_string(wait));
        return refuse(response, 429, attempt.refusedBecause() == LoginAttempt::Refusal::Busy
                                         ? QStringLiteral("busy: try again")
                                         : QStringLiteral("too many failed logins: wait %1 s").arg(wait));
    }
    if (!users->verify(name, password)) {
        attempt.failed();
        return refuse(response, 401, QStringLiteral("wrong name or password"));
    }
    attempt.succeeded();
    const QByteArray token = sessions.open(name);
    response.set_header("Set-Cookie", sessionCookie(token.toStdString(), sessions.lifetime().count()));
    response.status = 204;
}

void WebServer::logout(const httplib::Request &request, httplib::Response &response)
{
    const std::string token = cookieValue(request, kCookie);
    if (!token.empty())
        sessions.close(QByteArray::fromStdString(token));
    response.set_header("Set-Cookie", sessionCookie(std::string(), 0));
    response.status = 204;
}

void WebServer::liveFeed(const httplib::Request &request, httplib::Response &response)
{
    QueryParameters parameters;
    RecordFilter filter;
    QString error;
    qint64 after = -1;
    if (!toParameters(request, &parameters, &error))
        return refuse(response, 400, error);
    // A browser reconnecting by itself sends the url it first opened and
    // the last id it had: the id wins.
    if (request.has_header("Last-Event-ID"))
        parameters.insert(QStringLiteral("after"), QString::fromStdString(request.get_header_value("Last-Event-ID")));
    if (!parseViewFilter(parameters, &filter, &error)
        || !integerParameter(parameters, QStringLiteral("after"), 0, std::numeric_limits<qint64>::max(), -1, &after, &error))
        return refuse(response, 400, error);
    if (++streams > options.maxStreams) {
        --streams;
        response.set_header("Retry-After", "5");
        return refuse(response, 503, QStringLiteral("too many live pages"));
    }

    struct Stream {
        RecordFilter filter;
        qint64 after;
        quint64 position;
        std::set<qint64> sent;
        bool started = false;
        QByteArray token; // the login it runs under, when logins are asked
    };
    // Taken before the catch-up, so that a run arriving meanwhile is not missed.
    auto stream = std::make_shared<Stream>(Stream{filter, after, feed.position(), {}, false,
                                                  QByteArray::fromStdString(cookieValue(request, kCookie))});
    response.set_header("X-Accel-Buffering", "no");
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](size_t, httplib::DataSink &sink) {
            std::string text;
            const auto send = [&](const FeedEvent &e) {
                if (!stream->sent.insert(e.seq).second)
                    return;
                text += eventText(e);
                while (stream->sent.size() > kSentSeqsKept)
                    stream->sent.erase(stream->sent.begin());
            };
            // A page stays live only while its login does.
            if (users && !sessions.find(stream->token))
                return false;
            if (!stream->started) {
                // At once, so that the page knows it is live before the first run.
                stream->started = true;
                text = "retry: 1000\n\n";
            } else if (stream->after >= 0) {
                // The runs the page missed, a page at a time.
                QList<QJsonObject> runs;
                QString error;
                if (!api.runsAfter(stream->after, stream->filter, kCatchUpPage, &runs, &error))
                    return false;
                for (const QJsonObject &run : std::as_const(runs))
                    send({run.value(QLatin1String("seq")).toInteger(), run, QJsonDocument(run).toJson(QJsonDocument::Compact)});
                stream->after = runs.size() < kCatchUpPage ? -1 : runs.last().value(QLatin1String("seq")).toInteger();
            } else {
                const QList<FeedEvent> events = feed.waitForEvents(&stream->position, kKeepAlive);
                if (feed.isStopping())
                    return false;
                for (const FeedEvent &e : events)
                    if (runPassesFilter(stream->filter, e.run))
                        send(e);
                if (text.empty())
                    text = ": keep-alive\n\n";
            }
            return text.empty() || sink.write(text.data(), text.size());
        },
        [this](bool) { --streams; });
}
