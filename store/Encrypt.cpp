#include "store/Encrypt.h"

#include "app/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <memory>

namespace {

const char kKeyText[] = "5e1a9c07b3d24f68a0c19e7d42b8f3a6150de9c37a8b64f2d09c1e5b7a3f6d28";
const char kIvText[] = "9c4e2a7f1b6d30854e7a2c9f0b3d6e18";
constexpr int kBlockSize = 16;

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

// A heap buffer that is wiped over its whole size before it is released.
class CleansedBuffer
{
public:
    explicit CleansedBuffer(size_t size) : size(size), data(static_cast<unsigned char*>(std::malloc(size))) {}
    ~CleansedBuffer()
    {
        if (data) {
            OPENSSL_cleanse(data, size);
            std::free(data);
        }
    }
    CleansedBuffer(const CleansedBuffer&) = delete;
    CleansedBuffer& operator=(const CleansedBuffer&) = delete;

    const size_t size;
    unsigned char* const data;
};

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool decodeHex(const char* text, int bytes, unsigned char* out)
{
    for (int i = 0; i < bytes; ++i) {
        const int hi = hexValue(text[2 * i]);
        if (hi < 0)
            return false;
        const int lo = hexValue(text[2 * i + 1]);
        if (lo < 0)
            return false;
        out[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return true;
}

// All four encrypted kinds hold JSON: a wrong key can pass the padding check by chance, but
// its garbage practically never parses.
bool looksLikeJson(const unsigned char* data, int length)
{
    QJsonParseError error;
    QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), length), &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

int Encrypt::decrypt(const unsigned char* ciphertext, int length, const unsigned char* key,
                     const unsigned char* iv, unsigned char* out)
{
    if (!ciphertext || length < 0 || !key || !iv || !out)
        return -1;
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return -1;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1)
        return -1;
    int updated = 0;
    if (EVP_DecryptUpdate(ctx.get(), out, &updated, ciphertext, length) != 1)
        return -1;
    int final = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), out + updated, &final) != 1)
        return -1;
    return updated + final;
}

bool Encrypt::decode_hex_key_iv(unsigned char key[32], unsigned char iv[16])
{
    if (!key || !iv)
        return false;
    return decodeHex(kKeyText, 32, key) && decodeHex(kIvText, 16, iv);
}

std::string Encrypt::decrypt_file(const QString& path)
{
    unsigned char* raw = nullptr;
    const int length = read_file(path, &raw);
    std::unique_ptr<unsigned char, FreeDeleter> input(raw);
    if (length < 0 || !input) {
        write_log("[ERROR] Encrypt :: Decrypt file :: read failed");
        return std::string();
    }

    CleansedBuffer textOut(size_t(length) + kBlockSize);
    CleansedBuffer hexOut(size_t(length) + kBlockSize);
    if (!textOut.data || !hexOut.data) {
        write_log("[ERROR] Encrypt :: Decrypt file :: alloc failed");
        return std::string();
    }

    // Text form first: the key and IV texts' leading characters taken as bytes.
    const int textLength = decrypt(input.get(), length, reinterpret_cast<const unsigned char*>(kKeyText),
                                   reinterpret_cast<const unsigned char*>(kIvText), textOut.data);
    if (textLength == 0 || (textLength > 0 && looksLikeJson(textOut.data, textLength)))
        return std::string(reinterpret_cast<const char*>(textOut.data), size_t(textLength));

    // Hex form second.
    unsigned char key[32];
    unsigned char iv[16];
    int hexLength = -1;
    if (decode_hex_key_iv(key, iv))
        hexLength = decrypt(input.get(), length, key, iv, hexOut.data);
    OPENSSL_cleanse(key, sizeof key);
    OPENSSL_cleanse(iv, sizeof iv);

    if (hexLength >= 0 && (textLength < 0 || looksLikeJson(hexOut.data, hexLength)))
        return std::string(reinterpret_cast<const char*>(hexOut.data), size_t(hexLength));
    if (textLength > 0)
        return std::string(reinterpret_cast<const char*>(textOut.data), size_t(textLength));

    write_log("[ERROR] Encrypt :: Decrypt file :: decrypt failed");
    return std::string();
}

int Encrypt::encrypt_to_file(std::string plaintext, const QString& path)
{
    if (plaintext.size() > size_t(kMaxFileSize)) {
        write_log("[ERROR] Encrypt :: Encrypt to file :: encrypt failed");
        return -1;
    }
    CleansedBuffer out(plaintext.size() + kBlockSize);
    if (!out.data) {
        write_log("[ERROR] Encrypt :: Encrypt to file :: alloc failed");
        return -1;
    }

    int total = -1;
    {
        CipherContext ctx(EVP_CIPHER_CTX_new());
        int updated = 0;
        int final = 0;
        if (ctx
            && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr,
                                  reinterpret_cast<const unsigned char*>(kKeyText),
                                  reinterpret_cast<const unsigned char*>(kIvText)) == 1
            && EVP_EncryptUpdate(ctx.get(), out.data, &updated,
                                 reinterpret_cast<const unsigned char*>(plaintext.data()), int(plaintext.size())) == 1
            && EVP_EncryptFinal_ex(ctx.get(), out.data + updated, &final) == 1)
            total = updated + final;
    }
    if (total < 0) {
        write_log("[ERROR] Encrypt :: Encrypt to file :: encrypt failed");
        return -1;
    }
    return write_to_file(path, out.data, total);
}

int Encrypt::read_file(const QString& path, unsigned char** buffer)
{
    if (path.isEmpty() || !buffer) {
        write_log("[ERROR] Encrypt :: read file :: invalid args");
        return -1;
    }
    *buffer = nullptr;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        write_log(QStringLiteral("[ERROR] Encrypt :: read file :: open failed: ") + file.errorString());
        return -1;
    }
    const qint64 size = file.size();
    if (size <= 0)
        return 0;
    if (size > kMaxFileSize) {
        write_log(QStringLiteral("[ERROR] Encrypt :: read file :: file too large: ") + QString::number(size));
        return -1;
    }

    unsigned char* data = static_cast<unsigned char*>(std::malloc(size_t(size)));
    if (!data) {
        write_log("[ERROR] Encrypt :: read file :: memory allocation failed");
        return -1;
    }
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(data) + done, size - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (done != size) {
        std::free(data);
        write_log("[ERROR] Encrypt :: read file :: incomplete read");
        return -1;
    }
    *buffer = data;
    return int(size);
}

int Encrypt::write_to_file(const QString& path, const unsigned char* data, int length)
{
    if (path.isEmpty() || !data || length < 1) {
        write_log("[ERROR] Encrypt :: write to file :: invalid args");
        return -1;
    }

    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        write_log(QStringLiteral("[ERROR] Encrypt :: write to file :: cannot create directory: ") + folder);
        return -1;
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        write_log(QStringLiteral("[ERROR] Encrypt :: write to file :: open failed: ") + file.errorString());
        return -1;
    }
    qint64 done = 0;
    while (done < length) {
        const qint64 n = file.write(reinterpret_cast<const char*>(data) + done, length - done);
        if (n <= 0) {
            write_log(QStringLiteral("[ERROR] Encrypt :: write to file :: write failed: ") + file.errorString());
            return -1;
        }
        done += n;
    }
    if (!file.flush()) {
        write_log(QStringLiteral("[ERROR] Encrypt :: write to file :: write failed: ") + file.errorString());
        return -1;
    }
    file.close();
    return 1;
}
