//! libs: zr_store
// Whole-file decryption of an export's encrypted files: any bytes decrypt to a plaintext or to
// nothing, and what the player encrypts decrypts back to the same bytes.
#include "fuzz/FuzzSupport.h"
#include "store/Encrypt.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    static const QString folder = zrfuzz::freshFolder(QStringLiteral("decrypt"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // Ciphertext from outside.
    const QString path = folder + QStringLiteral("/cipher.zrnfo");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(path, bytes));
    Encrypt encrypt;
    const std::string plain = encrypt.decrypt_file(path);
    ZR_FUZZ_CHECK(plain.size() <= size);

    unsigned char key[32];
    unsigned char iv[16];
    ZR_FUZZ_CHECK(encrypt.decode_hex_key_iv(key, iv));
    std::vector<unsigned char> out(size + 16);
    const int n = encrypt.decrypt(data, int(size), key, iv, out.data());
    ZR_FUZZ_CHECK(n <= int(size));

    // The same bytes as a plaintext: encrypted by the player, read back unchanged.
    const QString round = folder + QStringLiteral("/sub/round.zrtag");
    ZR_FUZZ_CHECK(encrypt.encrypt_to_file(bytes.toStdString(), round) == 1);
    const std::string back = encrypt.decrypt_file(round);
    ZR_FUZZ_CHECK(back == bytes.toStdString());
    return 0;
}
