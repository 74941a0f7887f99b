#include "sha256.h"

#include <QByteArray>

#include <windows.h>
#include <bcrypt.h>

// Windows' own SHA-256 (BCrypt, which uses the processor's SHA instructions
// where it has them).
struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    void fail()
    {
        if (hash)
            BCryptDestroyHash(hash);
        hash = nullptr;
    }
    ~State()
    {
        fail();
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : state(std::make_unique<State>())
{
    // A failure leaves no hash: the result then is empty, which the callers
    // take as "no hash", never as a match.
    if (BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0
        || BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0) != 0)
        state->fail();
}

Sha256::~Sha256() = default;

void Sha256::add(const char *data, qint64 bytes)
{
    while (state->hash && bytes > 0) {
        const ULONG piece = ULONG(bytes < 0x40000000 ? bytes : 0x40000000);
        if (BCryptHashData(state->hash, reinterpret_cast<PUCHAR>(const_cast<char *>(data)), piece, 0) != 0)
            state->fail();
        data += piece;
        bytes -= piece;
    }
}

QString Sha256::hexResult()
{
    unsigned char digest[32];
    if (!state->hash || BCryptFinishHash(state->hash, digest, sizeof digest, 0) != 0)
        return QString();
    state->fail(); // a finished hash takes nothing more
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex());
}
