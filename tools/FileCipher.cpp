#include "tools/FileCipher.h"

#include <openssl/evp.h>

#include <memory>

namespace {

const char kKeyText[] = "5e1a9c07b3d24f68a0c19e7d42b8f3a6150de9c37a8b64f2d09c1e5b7a3f6d28";
const char kIvText[] = "9c4e2a7f1b6d30854e7a2c9f0b3d6e18";

const unsigned char* key() { return reinterpret_cast<const unsigned char*>(kKeyText); }
const unsigned char* iv() { return reinterpret_cast<const unsigned char*>(kIvText); }

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

QByteArray run(const QByteArray& in, bool encrypt, bool* ok)
{
    *ok = false;
    CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx)
        return {};
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key(), iv(), encrypt ? 1 : 0) != 1)
        return {};
    QByteArray out(in.size() + 16, Qt::Uninitialized);
    int n1 = 0;
    int n2 = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), o, &n1, reinterpret_cast<const unsigned char*>(in.constData()),
                         static_cast<int>(in.size())) != 1)
        return {};
    if (EVP_CipherFinal_ex(ctx.get(), o + n1, &n2) != 1)
        return {};
    out.truncate(n1 + n2);
    *ok = true;
    return out;
}

} // namespace

QByteArray FileCipher::encrypt(const QByteArray& plain)
{
    bool ok = false;
    return run(plain, true, &ok);
}

QByteArray FileCipher::decrypt(const QByteArray& cipher, bool* ok)
{
    return run(cipher, false, ok);
}

QByteArray FileCipher::keyHex()
{
    return QByteArray(kKeyText, 32).toHex();
}

QByteArray FileCipher::ivHex()
{
    return QByteArray(kIvText, 16).toHex();
}
