// The line view's logins against real files, a real pipe and a real
// pseudo-terminal; time moves by the clock seams, never by sleeping.
#include "loginthrottle.h"
#include "sessions.h"
#include "useradd.h"
#include "userfile.h"

#include <QtTest>

#include <future>
#include <limits>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Standard input taken from fd while it lives.
class StandardInputFrom {
public:
    explicit StandardInputFrom(int fd) : saved(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~StandardInputFrom() { dup2(saved, STDIN_FILENO), close(saved); }

private:
    int saved;
};

int userAddReading(const QStringList &args, const QByteArray &input)
{
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], input.constData(), size_t(input.size())) != input.size())
        return -1;
    close(ends[1]);
    StandardInputFrom in(ends[0]);
    close(ends[0]);
    return runUserAdd(args);
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

bool echoing(int fd)
{
    termios t{};
    tcgetattr(fd, &t);
    return t.c_lflag & ECHO;
}

} // namespace

class AuthTest : public QObject {
    Q_OBJECT
private slots:
    // Adding and replacing users keeps the others' lines as they were and
    // leaves a file only its owner can read; bad names and passwords change nothing.
    void usersAddedReplacedAndVerified()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("users");
        QVERIFY(writeFile(path, ""));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QString error;
        QVERIFY2(UserFile::addUser(path, "ann", "first", &error), qPrintable(error));
        QVERIFY(UserFile::addUser(path, "bob.w-2", "bob's pass", &error));
        const QByteArray bobLine = contents(path).split('\n').value(1);
        QVERIFY(UserFile::addUser(path, "ann", "second", &error));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(contents(path).split('\n').value(1), bobLine);

        UserFile users;
        QVERIFY2(users.load(path, &error), qPrintable(error));
        QCOMPARE(users.names(), QStringList({"ann", "bob.w-2"}));
        QVERIFY(users.verify("ann", "second"));
        QVERIFY(!users.verify("ann", "first"));
        QVERIFY(users.verify("bob.w-2", "bob's pass"));
        QVERIFY(!users.verify("carl", "second"));
        QVERIFY(!users.verify("ann", QByteArray(100000, 'x')));

        // An unknown name costs a full verification, as a known one does.
        auto fastest = [&](const QString &name) {
            qint64 best = std::numeric_limits<qint64>::max();
            for (int i = 0; i < 3; ++i) {
                QElapsedTimer timer;
                timer.start();
                users.verify(name, "wrong");
                best = std::min(best, timer.nsecsElapsed());
            }
            return best;
        };
        const qint64 known = fastest("ann"), unknown = fastest("nobody");
        QVERIFY2(unknown * 4 > known, qPrintable(QString("%1 ns against %2 ns").arg(unknown).arg(known)));

        const QByteArray before = contents(path);
        for (const QString &bad : {QString("ann:x"), QString("名字"), QString(UserFile::maxNameLength + 1, 'a')})
            QVERIFY2(!UserFile::addUser(path, bad, "pw", &error), qPrintable(bad));
        QVERIFY(!UserFile::addUser(path, "dan", QByteArray(UserFile::maxPasswordBytes + 1, 'p'), &error));
        QCOMPARE(contents(path), before);
        QVERIFY(UserFile::addUser(path, QString(UserFile::maxNameLength, 'e'),
                                  QByteArray(UserFile::maxPasswordBytes, 'p'), &error));
    }

    void malformedFileRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << QByteArray() << "no user";
        QTest::newRow("no colon") << QByteArray("GOOD\nann\n") << "line 2";
        QTest::newRow("no hash") << QByteArray("ann:\nGOOD\n") << "line 1";
        QTest::newRow("not a hash") << QByteArray("GOOD\nbob:secret\n") << "line 2";
        QTest::newRow("bad name") << QByteArray("a b:HASH\n") << "line 1";
        QTest::newRow("twice") << QByteArray("GOOD\nGOOD\n") << "line 2";
    }
    // Every line is checked and the error names the bad one; the users
    // loaded before stay, and adding to a bad file leaves it alone.
    void malformedFileRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString good = dir.filePath("good");
        QString error;
        QVERIFY(UserFile::addUser(good, "ann", "pw", &error));
        UserFile users;
        QVERIFY(users.load(good, &error));
        const QByteArray goodLine = contents(good).trimmed();
        text.replace("GOOD", goodLine).replace("HASH", goodLine.mid(4));
        const QString bad = dir.filePath("bad");
        QVERIFY(writeFile(bad, text));
        QVERIFY(!users.load(bad, &error));
        QVERIFY2(error.contains(says), qPrintable(error));
        QVERIFY(users.verify("ann", "pw"));
        QVERIFY(!users.load(dir.filePath("missing"), &error));
        if (says.startsWith("line")) { // an empty file is where the first user goes
            QVERIFY(!UserFile::addUser(bad, "carl", "pw", &error));
            QCOMPARE(contents(bad), text);
        }
    }

    // `user add` reads one line from a pipe; bad input gets 2 and writes
    // nothing, an unwritable file 1.
    void userAddFromPipe()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("users");
        QCOMPARE(userAddReading({"add", "ann", "--users", path}, "pipe pass\n"), 0);
        QCOMPARE(userAddReading({"add", "bob", "--users=" + path}, "no newline"), 0);
        UserFile users;
        QString error;
        QVERIFY(users.load(path, &error));
        QVERIFY(users.verify("ann", "pipe pass"));
        QVERIFY(users.verify("bob", "no newline"));
        QCOMPARE(modeOf(path), mode_t(0600));

        const QByteArray before = contents(path);
        QCOMPARE(userAddReading({"add", "c d", "--users", path}, "pw\n"), 2);
        for (const QByteArray &input : {QByteArray(), QByteArray("\n"), QByteArray(2000, 'p') + "\n"})
            QCOMPARE(userAddReading({"add", "carl", "--users", path}, input), 2);
        QCOMPARE(userAddReading({"add", "carl", "--users"}, "pw\n"), 2);
        QCOMPARE(contents(path), before);
        QCOMPARE(userAddReading({"add", "carl", "--users", dir.filePath("no/such/dir")}, "pw\n"), 1);

        // Without --users, the file in the working directory.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const int code = userAddReading({"add", "dan"}, "pw\n");
        QDir::setCurrent(previous);
        QCOMPARE(code, 0);
        QVERIFY(users.load(dir.filePath("lineview-users"), &error));

#ifdef LINEVIEW_PATH
        // The program's own `user add`, as a setup script runs it.
        QProcess lineview;
        lineview.start(LINEVIEW_PATH, {"user", "add", "eve", "--users", path});
        lineview.write("eve pass\n");
        lineview.closeWriteChannel();
        QVERIFY(lineview.waitForFinished(30000));
        QCOMPARE(lineview.exitCode(), 0);
        QVERIFY(users.load(path, &error));
        QVERIFY(users.verify("eve", "eve pass"));
#endif
    }

    // On a terminal the password is asked twice with echo off, and echo
    // comes back; two different answers write nothing.
    void userAddOnTerminal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("users");
        for (const QByteArray &typed : {QByteArray("tty pass\ntty pass\n"), QByteArray("tty pass\nother\n")}) {
            int master = -1, slave = -1;
            QVERIFY(openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
            QVERIFY(echoing(slave));
            auto code = std::async(std::launch::async, [&] {
                StandardInputFrom in(slave);
                return runUserAdd({"add", "ann", "--users", path});
            });
            const auto hangUp = qScopeGuard([&] { close(master); }); // ends a read that would wait on
            QTRY_VERIFY(!echoing(slave));
            QCOMPARE(write(master, typed.constData(), size_t(typed.size())), ssize_t(typed.size()));
            QVERIFY(code.wait_for(10s) == std::future_status::ready);
            QCOMPARE(code.get(), typed.count("tty pass") == 2 ? 0 : 2);
            QVERIFY(echoing(slave));
            close(slave);
            fcntl(master, F_SETFL, O_NONBLOCK);
            char shown[256];
            const ssize_t n = read(master, shown, sizeof shown);
            QVERIFY(!QByteArray(shown, int(std::max<ssize_t>(n, 0))).contains("pass"));
        }
        UserFile users;
        QString error;
        QVERIFY(users.load(path, &error));
        QVERIFY(users.verify("ann", "tty pass"));
    }

    // A session lives its lifetime from the login, used or not, even when
    // the clock steps back; logging out ends it at once.
    void sessionsExpireAndClose()
    {
        Sessions::Clock::time_point now = Sessions::Clock::now();
        Sessions sessions(1h, [&] { return now; });
        const QByteArray ann = sessions.open("ann");
        const QByteArray bob = sessions.open("bob");
        QCOMPARE(ann.size(), 64);
        QCOMPARE(QByteArray::fromHex(ann).toHex(), ann);
        QCOMPARE(sessions.find(ann).value().user, QString("ann"));
        QCOMPARE(sessions.find(ann).value().expiresAt, now + 1h);

        now += 30min;
        QVERIFY(sessions.find(ann));
        sessions.close(bob);
        QVERIFY(!sessions.find(bob));
        const QByteArray later = sessions.open("carl");
        now += 30min;
        QVERIFY(!sessions.find(ann));
        QVERIFY(sessions.find(later));
        QCOMPARE(sessions.size(), 1);

        now -= 40min;
        const QByteArray stepped = sessions.open("dan"); // ends before the older one
        now += 65min;
        QVERIFY(sessions.find(later));
        QVERIFY(!sessions.find(stepped));
    }

    // Only a token the store gave out finds a session; past the bound the
    // oldest session goes.
    void forgedTokensAndBound()
    {
        Sessions sessions(1h);
        const QByteArray first = sessions.open("first");
        QByteArray flipped = first;
        flipped[10] = flipped[10] == 'a' ? 'b' : 'a';
        QByteArray random(32, 0);
        for (char &c : random)
            c = char(QRandomGenerator::global()->bounded(256));
        for (const QByteArray &forged : {flipped, random.toHex(), first.left(63), first + "0", first.toUpper(),
                                         QByteArray(64, 'g'), QByteArray()})
            QVERIFY2(!sessions.find(forged), forged.constData());

        const QByteArray second = sessions.open("second");
        for (int i = 2; i < Sessions::maxSessions; ++i)
            sessions.open("u");
        QVERIFY(sessions.find(first));
        sessions.open("one more");
        QCOMPARE(sessions.size(), Sessions::maxSessions);
        QVERIFY(!sessions.find(first));
        QVERIFY(sessions.find(second));
    }

    // Each failure doubles the address's wait up to a minute; a success or
    // an hour's quiet starts it again; other addresses are not held up.
    void failuresDoubleTheWait()
    {
        LoginThrottle::Clock::time_point now = LoginThrottle::Clock::now();
        LoginThrottle throttle([&] { return now; });
        for (int expected : {1, 2, 4, 8, 16, 32, 60, 60}) {
            throttle.attempt("10.0.0.7").failed();
            QCOMPARE(throttle.retryAfter("10.0.0.7").count(), expected);
            const LoginAttempt early = throttle.attempt("10.0.0.7");
            QCOMPARE(early.refusedBecause(), LoginAttempt::Refusal::TooSoon);
            QCOMPARE(early.retryAfter().count(), expected);
            QVERIFY(throttle.attempt("10.0.0.8").allowed());
            now += std::chrono::seconds(expected) - 1ms;
            QCOMPARE(throttle.retryAfter("10.0.0.7").count(), 1);
            now += 1ms;
            QCOMPARE(throttle.retryAfter("10.0.0.7").count(), 0);
        }
        throttle.attempt("10.0.0.7").succeeded();
        throttle.attempt("10.0.0.7").failed();
        QCOMPARE(throttle.retryAfter("10.0.0.7").count(), 1);
        now += 1s;
        throttle.attempt("10.0.0.7").failed();
        now += 1h + 2s;
        throttle.attempt("10.0.0.7").failed();
        QCOMPARE(throttle.retryAfter("10.0.0.7").count(), 1);
    }

    // An address is one client whatever its spelling, an IPv6 host is its
    // /64, and a client has one attempt at a time: parallel requests cannot
    // get round its wait.
    void clientsTakenWhole()
    {
        LoginThrottle throttle;
        throttle.attempt("2001:db8:0:7::1").failed();
        QVERIFY(throttle.retryAfter("2001:db8:0:7:abcd::99").count() > 0);
        QCOMPARE(throttle.retryAfter("2001:db8:0:8::1").count(), 0);
        throttle.attempt("::ffff:192.0.2.1").failed();
        QVERIFY(throttle.retryAfter("192.0.2.1").count() > 0);
        QCOMPARE(throttle.retryAfter("192.0.2.2").count(), 0);

        LoginAttempt first = throttle.attempt("10.0.0.7");
        QVERIFY(first.allowed());
        QCOMPARE(throttle.attempt("10.0.0.7").refusedBecause(), LoginAttempt::Refusal::TooSoon);
        first.failed();
        QCOMPARE(throttle.retryAfter("10.0.0.7").count(), 1);
    }

    // At most two verifications at once; a third waits for a slot, or is
    // told the server is busy when none frees within 2 s.
    void verificationsBounded()
    {
        LoginThrottle throttle;
        auto one = std::make_unique<LoginAttempt>(throttle.attempt("10.0.0.1"));
        const LoginAttempt two = throttle.attempt("10.0.0.2");
        QVERIFY(one->allowed() && two.allowed());

        QElapsedTimer timer;
        timer.start();
        const LoginAttempt busy = throttle.attempt("10.0.0.3");
        QCOMPARE(busy.refusedBecause(), LoginAttempt::Refusal::Busy);
        QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(busy.retryAfter().count() > 0);
        QCOMPARE(throttle.retryAfter("10.0.0.3").count(), 0); // busy is no failure

        auto waiting = std::async(std::launch::async, [&] { return throttle.attempt("10.0.0.3", 60s).allowed(); });
        QVERIFY(waiting.wait_for(300ms) == std::future_status::timeout);
        one.reset();
        QVERIFY(waiting.wait_for(10s) == std::future_status::ready);
        QVERIFY(waiting.get());
    }
};

QTEST_GUILESS_MAIN(AuthTest)
#include "tst_auth.moc"
