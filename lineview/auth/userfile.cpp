#include "userfile.h"

#include "sodiumready.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <sodium.h>

namespace {

// A hash of a random password nobody knows, made with the same limits as
// the users' own: checking a password against it costs what a real check
// costs, so an unknown name answers no faster than a known one.
const char dummyHash[] =
    "$argon2id$v=19$m=65536,t=2,p=1$LmfLJPsVY5E8zLypYU9cFQ$igCu0nt/GiIVM2PQzMJpdbST6kCjwcLWE8ROOaHx85k";

// Far above any real line's users, low enough that a wrong path (a device,
// a huge log) is refused at once rather than read for ever.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

bool isValidHash(const QByteArray &hash)
{
    return !hash.isEmpty() && hash.size() < crypto_pwhash_STRBYTES && !hash.contains('\0')
        && crypto_pwhash_str_needs_rehash(hash.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != -1;
}

// Reads NAME:HASH lines into order and hashes; blank lines are skipped.
bool parseUsers(const QString &path, QStringList *order, QHash<QString, QByteArray> *hashes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(maxFileBytes + 1);
    if (text.size() > maxFileBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes: not a users file").arg(path).arg(maxFileBytes);
        return false;
    }
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        const QString name = QString::fromUtf8(line.left(colon));
        const QByteArray hash = line.mid(colon + 1);
        QString problem;
        if (colon < 0)
            problem = QStringLiteral("expected NAME:HASH");
        else if (!UserFile::isValidName(name))
            problem = QStringLiteral("a user name is 1 to %1 letters, digits, '.', '_' or '-'")
                          .arg(UserFile::maxNameLength);
        else if (!isValidHash(hash))
            problem = QStringLiteral("the password hash is not one `lineview user add` makes");
        else if (hashes->contains(name))
            problem = QStringLiteral("user %1 appears twice").arg(name);
        if (!problem.isEmpty()) {
            *error = QStringLiteral("%1 line %2: %3").arg(path).arg(i + 1).arg(problem);
            return false;
        }
        order->append(name);
        hashes->insert(name, hash);
    }
    return true;
}

} // namespace

UserFile::UserFile()
{
    ensureSodiumReady();
}

bool UserFile::load(const QString &path, QString *error)
{
    QStringList newOrder;
    QHash<QString, QByteArray> newHashes;
    if (!parseUsers(path, &newOrder, &newHashes, error))
        return false;
    if (newOrder.isEmpty()) {
        *error = QStringLiteral("%1 holds no user, so nobody could log in: add one with `lineview user add NAME --users %1`")
                     .arg(path);
        return false;
    }
    order = newOrder;
    hashes = newHashes;
    return true;
}

bool UserFile::verify(const QString &name, const QByteArray &password) const
{
    if (!passwordProblem(password).isEmpty())
        return false; // refused for its length alone, whatever the name
    const auto user = hashes.constFind(name);
    const char *hash = user != hashes.constEnd() ? user->constData() : dummyHash;
    const bool matches =
        crypto_pwhash_str_verify(hash, password.constData(), static_cast<unsigned long long>(password.size())) == 0;
    return matches && user != hashes.constEnd();
}

QStringList UserFile::names() const
{
    return order;
}

bool UserFile::addUser(const QString &path, const QString &name, const QByteArray &password, QString *error)
{
    ensureSodiumReady();
    if (!isValidName(name)) {
        *error = QStringLiteral("'%1' is not a user name: 1 to %2 letters, digits, '.', '_' or '-'")
                     .arg(name)
                     .arg(maxNameLength);
        return false;
    }
    if (const QString problem = passwordProblem(password); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    UserFile users;
    if (QFileInfo::exists(path) && !parseUsers(path, &users.order, &users.hashes, error))
        return false;

    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), static_cast<unsigned long long>(password.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0) {
        *error = QStringLiteral("not enough memory to hash the password");
        return false;
    }
    if (!users.hashes.contains(name))
        users.order.append(name);
    users.hashes.insert(name, QByteArray(hash));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    for (const QString &user : std::as_const(users.order))
        file.write(user.toUtf8() + ':' + users.hashes.value(user) + '\n');
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool UserFile::isValidName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[A-Za-z0-9._-]{1,%1}\\z").arg(maxNameLength));
    return pattern.match(name).hasMatch();
}

QString UserFile::passwordProblem(const QByteArray &password)
{
    if (password.isEmpty())
        return QStringLiteral("the password is empty");
    if (password.size() > maxPasswordBytes)
        return QStringLiteral("the password is longer than %1 bytes").arg(maxPasswordBytes);
    return {};
}
