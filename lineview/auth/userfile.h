// The users allowed into the line view: one line per user, NAME:HASH, the
// hash an Argon2id string from libsodium. Load once, then verify from any
// number of threads.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class UserFile {
public:
    UserFile();

    // Reads and checks the whole file; on failure the users known before
    // stay and error says what is wrong (a bad line by its number).
    bool load(const QString &path, QString *error);

    // Takes as long for an unknown name as for a known one, so that the
    // answer's time does not tell which names exist.
    bool verify(const QString &name, const QByteArray &password) const;

    QStringList names() const;

    // Adds the user or replaces its password, keeping the other lines; the
    // file is replaced at once (never half-written) and readable by its owner only.
    static bool addUser(const QString &path, const QString &name, const QByteArray &password,
                        QString *error);

    static bool isValidName(const QString &name);
    // Empty if the password is acceptable, otherwise why not.
    static QString passwordProblem(const QByteArray &password);

    static constexpr int maxNameLength = 64;
    static constexpr int maxPasswordBytes = 1024;

private:
    QStringList order; // as in the file, so that a rewrite keeps it
    QHash<QString, QByteArray> hashes;
};
