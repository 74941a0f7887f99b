#include "useradd.h"

#include "userfile.h"

#include <QByteArray>

#include <cerrno>
#include <cstdio>
#include <optional>

#include <termios.h>
#include <unistd.h>

namespace {

const char usage[] = "usage: lineview user add NAME [--users FILE]";

void tell(const QString &text)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}

// One line of standard input without its line end; none at the end of the
// input. Stops reading past the longest password, so an endless input
// cannot keep it reading.
std::optional<QByteArray> readLine()
{
    QByteArray line;
    char c = 0;
    while (line.size() <= UserFile::maxPasswordBytes) {
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (line.isEmpty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The terminal does not show what is typed while this lives.
class EchoOff {
public:
    EchoOff()
    {
        if (tcgetattr(STDIN_FILENO, &saved) != 0)
            return;
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL; // the Enter key still moves to the next line
        changed = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (changed)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    termios saved{};
    bool changed = false;
};

// Asks twice; none (and says why) if nothing came or the two differ.
std::optional<QByteArray> askOnTerminal(const QString &name)
{
    const EchoOff echoOff;
    std::fprintf(stderr, "Password for %s: ", qUtf8Printable(name));
    std::fflush(stderr);
    const std::optional<QByteArray> first = readLine();
    if (!first) {
        tell(QStringLiteral("lineview user add: no password given"));
        return std::nullopt;
    }
    std::fprintf(stderr, "Again: ");
    std::fflush(stderr);
    if (readLine() != first) {
        tell(QStringLiteral("lineview user add: the two passwords differ"));
        return std::nullopt;
    }
    return first;
}

} // namespace

int runUserAdd(const QStringList &args)
{
    if (args.value(0) != QLatin1String("add")) {
        tell(QString::fromLatin1(usage));
        return 2;
    }
    QString name;
    QString path = QStringLiteral("lineview-users");
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--users") && i + 1 < args.size()) {
            path = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--users="))) {
            path = arg.mid(8);
        } else if (arg.startsWith('-') || !name.isNull()) {
            tell(QString::fromLatin1(usage));
            return 2;
        } else {
            name = arg;
        }
    }
    if (name.isNull()) {
        tell(QString::fromLatin1(usage));
        return 2;
    }
    if (!UserFile::isValidName(name)) {
        tell(QStringLiteral("lineview user add: '%1' is not a user name: 1 to %2 letters, digits, '.', '_' or '-'")
                 .arg(name)
                 .arg(UserFile::maxNameLength));
        return 2;
    }

    const bool terminal = isatty(STDIN_FILENO);
    const std::optional<QByteArray> password = terminal ? askOnTerminal(name) : readLine();
    if (!password) {
        if (!terminal)
            tell(QStringLiteral("lineview user add: no password on standard input"));
        return 2;
    }
    if (const QString problem = UserFile::passwordProblem(*password); !problem.isEmpty()) {
        tell(QStringLiteral("lineview user add: ") + problem);
        return 2;
    }
    QString error;
    if (!UserFile::addUser(path, name, *password, &error)) {
        tell(QStringLiteral("lineview user add: ") + error);
        return 1;
    }
    tell(QStringLiteral("lineview user add: %1 saved in %2").arg(name, path));
    return 0;
}
