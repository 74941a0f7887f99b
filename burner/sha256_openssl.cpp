#include "sha256.h"

#include <openssl/evp.h>

struct Sha256::State {
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state(std::make_unique<State>())
{
    // Fails only when memory runs out; the result then is empty, which the
    // callers take as "no hash", never as a match.
    if (state->context && EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(state->context);
        state->context = nullptr;
    }
}

Sha256::~Sha256() = default;

void Sha256::add(const char *data, qint64 bytes)
{
    if (state->context && bytes > 0 && EVP_DigestUpdate(state->context, data, size_t(bytes)) != 1) {
        EVP_MD_CTX_free(state->context);
        state->context = nullptr;
    }
}

QString Sha256::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state->context || EVP_DigestFinal_ex(state->context, digest, &length) != 1)
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}
