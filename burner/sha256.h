// SHA-256 over data fed in pieces. The platform's own implementation does
// the work (OpenSSL's libcrypto here, which uses the processor's SHA
// instructions; Windows' own BCrypt on Windows).
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *data, qint64 bytes);
    // The digest in lower-case hex; ends the hash (add nothing after it).
    QString hexResult();

private:
    struct State;
    std::unique_ptr<State> state;
};
