// What stands between the line's records and the network, tried against a
// real lineview process over HTTP: logins and cookies, forged and expired
// sessions, password guessing, hostile filters, oversized requests, the rate
// bound, the page's policy headers, unsafe starts, and that nothing is ever
// written, on a station's results.db and on the line's PostgreSQL.
#include "pgcluster.h"
#include "recordstore.h"
#include "recordtesting.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

namespace {

const QString kUser = QStringLiteral("ann");
const std::string kPassword = "correct horse battery";
const std::string kCookieName = "lineview_session";

// An answer as the test reads it; status -1 when none came.
struct Answer {
    int status = -1;
    std::string body;
    httplib::Headers headers;
    std::string header(const char *name) const
    {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// Every answer the test gets must carry these; a miss is kept for cleanup().
QStringList unguardedAnswers;

Answer checked(const std::string &what, int status, std::string body, httplib::Headers headers)
{
    Answer a{status, std::move(body), std::move(headers)};
    if (a.status != -1
        && (a.header("Content-Security-Policy").find("default-src 'self'") == std::string::npos
            || a.header("X-Content-Type-Options") != "nosniff"))
        unguardedAnswers << QString::fromStdString(what.substr(0, 80) + " -> " + std::to_string(a.status));
    return a;
}

Answer checked(const std::string &what, const httplib::Result &result)
{
    return result ? checked(what, result->status, result->body, result->headers) : Answer();
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A lineview the test starts on a free port and stops at the end.
class RunningView {
public:
    ~RunningView() { stop(); }

    bool start(QStringList arguments)
    {
        port = freePort();
        arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:%1").arg(port);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(LINEVIEW_PATH), arguments);
        process.waitForStarted(30000);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 30000 && process.state() == QProcess::Running) {
            process.waitForReadyRead(200);
            errors += QString::fromLocal8Bit(process.readAllStandardError());
            if (errors.contains(QLatin1String("lineview: serving")))
                return true;
        }
        qWarning("lineview did not start: %s", qPrintable(errors));
        return false;
    }

    // Ends it as systemd would; its exit status.
    int stop()
    {
        if (process.state() == QProcess::NotRunning)
            return process.exitCode();
        process.terminate();
        if (!process.waitForFinished(30000))
            process.kill();
        process.waitForFinished(5000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    bool isRunning() const { return process.state() == QProcess::Running; }

    int port = 0;
    QString errors;

private:
    QProcess process;
};

// lineview run to its end; its exit status and what it printed.
int runToEnd(const QStringList &arguments, QString *errors, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(LINEVIEW_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitCode();
}

std::unique_ptr<httplib::Client> client(int port, const char *from = nullptr)
{
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
    c->set_connection_timeout(10);
    c->set_read_timeout(30);
    if (from) {
        // Another loopback address: another client to the login throttle.
        const std::string address = from;
        c->set_socket_options([address](int sock) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, address.c_str(), &local.sin_addr);
            ::bind(sock, reinterpret_cast<sockaddr *>(&local), sizeof local);
        });
    }
    return c;
}

Answer get(httplib::Client &c, const std::string &path, const httplib::Params &params = {},
           const std::string &cookie = std::string())
{
    httplib::Headers headers;
    if (!cookie.empty())
        headers.emplace("Cookie", kCookieName + "=" + cookie);
    if (path != "/api/events")
        return checked(path, c.Get(path, params, headers));
    // The live feed never ends by itself: its status and headers are enough.
    Answer a;
    c.Get(path, params, headers, [&](const httplib::Response &r) {
        a = checked(path, r.status, std::string(), r.headers);
        return false;
    }, [](const char *, size_t) { return false; });
    return a;
}

Answer login(httplib::Client &c, const std::string &password, const std::string &name = "ann")
{
    const std::string body = "{\"name\":\"" + name + "\",\"password\":\"" + password + "\"}";
    return checked("/api/login", c.Post("/api/login", body, "application/json"));
}

// Asks until the answer has status want or ms have passed; the last answer.
// (QTRY_* would ask once more, and asking here has consequences.)
Answer askUntil(const std::function<Answer()> &ask, int want, int ms)
{
    QElapsedTimer waited;
    waited.start();
    Answer a = ask();
    while (a.status != want && waited.elapsed() < ms) {
        QTest::qWait(100);
        a = ask();
    }
    return a;
}

std::string tokenOf(const Answer &answer)
{
    const std::string cookie = answer.header("Set-Cookie");
    const size_t at = cookie.find(kCookieName + "=");
    if (at == std::string::npos)
        return {};
    const size_t from = at + kCookieName.size() + 1;
    return cookie.substr(from, cookie.find(';', from) - from);
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && hash.addData(&f) ? hash.result() : QByteArray();
}

const std::vector<std::string> kHostileValues{
    "'", ";", "--", "%", "\\", std::string("t1\0x", 4), "' OR '1'='1", "t1'; DROP TABLE runs; --", std::string(300, 'a')};

// Each endpoint, the list its answer holds, and the parameters it reads.
struct Endpoint {
    std::string path;
    QString list;
    std::vector<std::string> parameters;
};
const std::vector<std::string> kFilterParameters{"from", "to", "station", "program", "image", "simulated"};
std::vector<Endpoint> endpoints()
{
    const auto with = [](std::vector<std::string> more) {
        more.insert(more.end(), kFilterParameters.begin(), kFilterParameters.end());
        return more;
    };
    return {{"/api/stations", "stations", with({})},     {"/api/yield", "rows", with({"by"})},
            {"/api/pareto", "programs", with({})},       {"/api/locations", "rows", with({})},
            {"/api/runs", "runs", with({"after", "before", "limit"})},
            {"/api/runs.csv", QString(), with({})},      {"/api/events", QString(), with({"after"})},
            {"/api/unit", "runs", {"address", "max_retries"}}};
}

} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void refusesToStartUnsafely();
    void everyCallNeedsALiveSession();
    void tlsCookieIsSecureAndExpires();
    void guessingPasswordsGetsNowhere();
    void hostileFiltersStayValues();
    void oversizedAndTooFastRequestsAreRefused();
    void neverWritesToTheLinesServer();

private:
    // 200 with nothing found, or 400, for every hostile value in every parameter.
    void sweepHostileFilters(int port, const std::string &cookie = std::string());

    QTemporaryDir dir;
    QString station, usersFile;
    PgCluster cluster;
};

void TestGuard::initTestCase()
{
    QVERIFY(dir.isValid());
    station = dir.filePath("station");
    QVERIFY(QDir().mkpath(station));
    RecordStore store(station, 0);
    const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
    for (int i = 1; i <= 3; ++i) {
        RunRecord r = makeRun("tester", "t1", today + QStringLiteral("T00:0%1:00Z").arg(i),
                              i == 2 ? RunOutcome::Fail : RunOutcome::Pass,
                              QStringLiteral("00:00:00:00:00:0%1").arg(i), i == 2 ? "SetConf" : "");
        QVERIFY(store.write(r));
    }
    usersFile = dir.filePath("users");
    QString errors;
    const QByteArray line = QByteArray::fromStdString(kPassword) + '\n';
    QCOMPARE(runToEnd({"user", "add", kUser, "--users", usersFile}, &errors, line + line), 0);
    QVERIFY2(cluster.create(), qPrintable(cluster.error()));
}

void TestGuard::cleanup()
{
    const QStringList missed = std::exchange(unguardedAnswers, {});
    QVERIFY2(missed.isEmpty(), qPrintable("answers without the policy headers: " + missed.join(", ")));
}

void TestGuard::refusesToStartUnsafely()
{
    QFile malformed(dir.filePath("malformed-users"));
    QVERIFY(malformed.open(QIODevice::WriteOnly));
    malformed.write("ann\nbob:not-a-hash:extra\n");
    malformed.close();
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{"--database", station, "--listen", "0.0.0.0:18099"}, "--users"},
        {{"--database", station, "--listen", "[::]:18099"}, "--users"},
        {{"--database", dir.filePath("nowhere/results.db")}, "nowhere"},
        {{"--database", station, "--users", malformed.fileName()}, "malformed-users"},
        {{"--database", station, "--users", dir.filePath("no-users")}, "no-users"},
    };
    for (const auto &c : cases) {
        QString errors;
        QCOMPARE(runToEnd(c.arguments, &errors), 2);
        QVERIFY2(errors.startsWith("lineview: ") && errors.contains(c.message), qPrintable(errors));
    }
}

void TestGuard::everyCallNeedsALiveSession()
{
    RunningView view;
    QVERIFY(view.start({"--database", station, "--users", usersFile, "--rate", "100000"}));
    auto c = client(view.port);

    // Another session's token, no longer live once it logged out.
    const std::string closed = tokenOf(login(*c, kPassword));
    QVERIFY(!closed.empty());
    QCOMPARE(get(*c, "/api/runs", {}, closed).status, 200);
    QCOMPARE(checked("/api/logout", c->Post("/api/logout", {{"Cookie", kCookieName + "=" + closed}}, "", "text/plain")).status, 204);
    QByteArray random(32, 0);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(random.data()), 8);
    const std::vector<std::string> forged{"", random.toHex().toStdString(), "abc", closed, closed + "0",
                                          std::string(64, '0'), closed.substr(0, 63) + "'"};
    std::vector<std::string> paths{"/api/filters"};
    for (const Endpoint &e : endpoints())
        paths.push_back(e.path);
    for (const std::string &path : paths)
        for (const std::string &cookie : forged) {
            const Answer r = get(*c, path, {}, cookie);
            QVERIFY2(r.status == 401, qPrintable(QString::fromStdString(path + " with cookie '" + cookie + "'")));
            QVERIFY(r.body.find("\"runs\"") == std::string::npos && r.body.find("00:00:00") == std::string::npos);
        }
    for (const std::string &cookie : forged)
        QCOMPARE(checked("/api/logout", c->Post("/api/logout", {{"Cookie", kCookieName + "=" + cookie}}, "", "text/plain")).status,
                 401);
    QCOMPARE(get(*c, "/api/session").status, 200);

    // A wrong password gives no cookie; the right one a cookie a script cannot read.
    const Answer wrong = login(*c, "wrong horse battery");
    QCOMPARE(wrong.status, 401);
    QVERIFY(wrong.header("Set-Cookie").empty());
    QCOMPARE(askUntil([&] { return login(*c, kPassword, "nobody"); }, 401, 70000).status, 401); // once let try
    const Answer good = askUntil([&] { return login(*c, kPassword); }, 204, 70000);
    QCOMPARE(good.status, 204);
    const std::string cookie = good.header("Set-Cookie");
    for (const char *attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/", "; Max-Age="})
        QVERIFY2(cookie.find(attribute) != std::string::npos, cookie.c_str());
    QVERIFY2(cookie.find("Secure") == std::string::npos, cookie.c_str());
    QCOMPARE(tokenOf(good).size(), size_t(64));
    for (const std::string &path : paths)
        QVERIFY2(get(*c, path, {{"address", "00:00:00:00:00:01"}}, tokenOf(good)).status == 200, path.c_str());
    QCOMPARE(get(*c, "/", {}, std::string()).status, 200);
}

void TestGuard::tlsCookieIsSecureAndExpires()
{
    const QString cert = dir.filePath("view.crt"), key = dir.filePath("view.key");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                              "-keyout", key, "-out", cert});
    QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
    RunningView view;
    QVERIFY(view.start({"--database", station, "--users", usersFile, "--tls-cert", cert, "--tls-key", key,
                        "--session-minutes", "0.05"}));
    httplib::SSLClient tls("127.0.0.1", view.port);
    tls.enable_server_certificate_verification(false);
    tls.set_connection_timeout(10);
    tls.set_read_timeout(30);

    const Answer in = checked("/api/login over TLS", tls.Post("/api/login", "{\"name\":\"ann\",\"password\":\"" + kPassword + "\"}",
                                                              "application/json"));
    QCOMPARE(in.status, 204);
    const std::string cookie = in.header("Set-Cookie");
    QVERIFY2(cookie.find("; Secure") != std::string::npos && cookie.find("; Max-Age=3") != std::string::npos,
             cookie.c_str());
    const httplib::Headers session{{"Cookie", kCookieName + "=" + tokenOf(in)}};
    QCOMPARE(checked("/api/runs over TLS", tls.Get("/api/runs", session)).status, 200);

    // Plain HTTP gets nothing from it.
    const int plain = get(*client(view.port), "/api/session").status;
    QVERIFY2(plain == -1 || plain >= 400, qPrintable(QString::number(plain)));

    // 3 s on: the session is gone on the server, whatever the browser keeps.
    QTRY_COMPARE_WITH_TIMEOUT(checked("/api/runs over TLS", tls.Get("/api/runs", session)).status, 401, 30000);
    QCOMPARE(view.stop(), 0);
}

void TestGuard::guessingPasswordsGetsNowhere()
{
    const QByteArray before = fileHash(station + "/results.db");
    const QByteArray usersBefore = fileHash(usersFile);
    RunningView view;
    QVERIFY(view.start({"--database", station, "--users", usersFile, "--rate", "100000"}));
    auto c = client(view.port);

    int refused = 0, verified = 0;
    for (int i = 0; i < 1000; ++i) {
        const int s = login(*c, "guess-" + std::to_string(i), i % 2 ? "ann" : "root").status;
        QVERIFY2(s == 401 || s == 429, qPrintable(QString("guess %1 answered %2").arg(i).arg(s)));
        refused += s == 429;
        verified += s == 401;
    }
    // Most guesses never reach a password check.
    QVERIFY2(verified < 100, qPrintable(QString("%1 guesses were checked").arg(verified)));
    QElapsedTimer answered;
    answered.start();
    QCOMPARE(get(*c, "/api/session").status, 200);
    QVERIFY(answered.elapsed() < 5000);

    // Another address is not held back by this one's guesses.
    QCOMPARE(login(*client(view.port, "127.0.0.2"), kPassword).status, 204);
    // Right after a checked guess, even the right password waits its turn here...
    QCOMPARE(askUntil([&] { return login(*c, "one more guess"); }, 401, 130000).status, 401);
    const Answer held = login(*c, kPassword);
    QCOMPARE(held.status, 429);
    const int wait = std::stoi(held.header("Retry-After"));
    QVERIFY(wait >= 1 && wait <= 60);
    // ...and gets in once that has passed.
    QCOMPARE(askUntil([&] { return login(*c, kPassword); }, 204, (wait + 10) * 1000).status, 204);

    QCOMPARE(view.stop(), 0);
    QCOMPARE(fileHash(station + "/results.db"), before);
    QCOMPARE(fileHash(usersFile), usersBefore);
}

void TestGuard::sweepHostileFilters(int port, const std::string &cookie)
{
    auto c = client(port);
    for (const Endpoint &e : endpoints())
        for (const std::string &name : e.parameters)
            for (const std::string &value : kHostileValues) {
                const Answer r = get(*c, e.path, {{name, value}}, cookie);
                const QString what = QString::fromStdString(e.path + "?" + name + "=")
                                     + QString::fromUtf8(value.data(), int(value.size())).left(40);
                QVERIFY2(r.status == 200 || r.status == 400, qPrintable(what + QString(" answered %1 ").arg(r.status) + QString::fromStdString(r.body)));
                if (r.status != 200)
                    continue;
                if (e.path == "/api/runs.csv")
                    QVERIFY2(std::count(r.body.begin(), r.body.end(), '\n') <= 1, qPrintable(what));
                else if (!e.list.isEmpty())
                    QVERIFY2(QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object().value(e.list).toArray().isEmpty(),
                             qPrintable(what + " found " + QString::fromStdString(r.body).left(200)));
            }
    QCOMPARE(get(*c, "/api/runs", {}, cookie).status, 200);
}

void TestGuard::hostileFiltersStayValues()
{
    const QByteArray before = fileHash(station + "/results.db");
    RunningView view;
    QVERIFY(view.start({"--database", station, "--rate", "100000"}));
    sweepHostileFilters(view.port);
    QVERIFY(view.isRunning());
    QCOMPARE(view.stop(), 0);
    QCOMPARE(fileHash(station + "/results.db"), before);
    QCOMPARE(localRunCount(station), 3);
}

void TestGuard::oversizedAndTooFastRequestsAreRefused()
{
    RunningView view;
    QVERIFY(view.start({"--database", station, "--users", usersFile, "--rate", "5"}));
    auto c = client(view.port);

    const Answer big = checked("oversized login", c->Post("/api/login", std::string(64 * 1024, ' '), "application/json"));
    QCOMPARE(big.status, 413);
    const int longUri = get(*c, "/api/runs?station=" + std::string(100 * 1024, 'x')).status;
    QVERIFY2(longUri >= 400 && longUri < 500, qPrintable(QString::number(longUri)));
    const int longHeader = checked("long header", c->Get("/api/session", {{"X-Padding", std::string(100 * 1024, 'x')}})).status;
    QVERIFY2(longHeader >= 400 && longHeader < 500, qPrintable(QString::number(longHeader)));
    httplib::Params many;
    for (int i = 0; i < 50; ++i)
        many.emplace("p" + std::to_string(i), "1");
    const std::string token = tokenOf(login(*c, kPassword));
    QVERIFY(!token.empty());
    QCOMPARE(get(*c, "/api/runs", many, token).status, 400);
    QCOMPARE(get(*c, "/", {}, std::string()).status, 200);

    // 5 a second with a burst of five times that: then 429 until it refills.
    QElapsedTimer burst;
    burst.start();
    int admitted = 0;
    Answer r;
    while ((r = get(*c, "/api/session")).status == 200 && admitted < 1000)
        ++admitted;
    const double seconds = burst.elapsed() / 1000.0;
    QCOMPARE(r.status, 429);
    QVERIFY(std::stoi(r.header("Retry-After")) >= 1);
    QVERIFY2(admitted >= 15 && admitted <= 25 + 5 * seconds + 5, qPrintable(QString("%1 admitted in %2 s").arg(admitted).arg(seconds)));
    QCOMPARE(askUntil([&] { return get(*c, "/api/session"); }, 200, 10000).status, 200);
    QVERIFY(view.isRunning());
}

void TestGuard::neverWritesToTheLinesServer()
{
    QTemporaryDir folder;
    writeStationIni(folder.path(), "t1", cluster.url());
    {
        auto store = std::make_unique<RecordStore>(folder.path(), 500);
        RunRecord r = makeRun("tester", "t1", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                              RunOutcome::Pass, "00:00:00:00:00:01");
        QVERIFY(store->write(r));
        QTRY_COMPARE_WITH_TIMEOUT(cluster.runIds().size(), 1, 10000);
        endWithinBound(std::move(store));
    }
    // Every statement in the server's log, so that a write would show.
    {
        QSqlDatabase admin = cluster.session("admin");
        QSqlQuery q(admin);
        QVERIFY(q.exec("ALTER SYSTEM SET log_statement = 'all'") && q.exec("SELECT pg_reload_conf()"));
    }
    QSqlDatabase::removeDatabase("admin");
    const QStringList runsBefore = cluster.runIds();
    const int logStart = cluster.log().size();

    // The admin's login could write; lineview's sessions must not.
    RunningView view;
    QVERIFY(view.start({"--database", cluster.url().toString(), "--rate", "100000"}));
    sweepHostileFilters(view.port);
    QVERIFY(view.isRunning());
    // However many requests, a few sessions: the server has stations to serve.
    {
        QSqlDatabase watcher = cluster.session("watcher");
        QSqlQuery q(watcher);
        QVERIFY(q.exec("SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend'") && q.next());
        QVERIFY2(q.value(0).toInt() <= 12, qPrintable(q.value(0).toString() + " sessions"));
    }
    QSqlDatabase::removeDatabase("watcher");
    QCOMPARE(view.stop(), 0);
    QCOMPARE(cluster.runIds(), runsBefore);

    const QString log = cluster.log().mid(logStart);
    QVERIFY2(log.contains("SET default_transaction_read_only = on"), qPrintable(log.left(2000)));
    const QRegularExpression write("(statement|execute [^:]*): *(INSERT|UPDATE|DELETE|CREATE|DROP|ALTER|TRUNCATE|COPY|GRANT)",
                                   QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = write.match(log);
    QVERIFY2(!found.hasMatch(), qPrintable(found.captured(0)));
}

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
