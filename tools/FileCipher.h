#pragma once

#include <QByteArray>
#include <QString>

// The recorder's whole-file cipher: AES-256-CBC with PKCS#7 padding, key and IV in their text
// form (the first 32 and 16 characters of the constant texts taken as ASCII bytes).
class FileCipher
{
public:
    static QByteArray encrypt(const QByteArray& plain);
    static QByteArray decrypt(const QByteArray& cipher, bool* ok);
    // The key and IV as hexadecimal, as `openssl enc -K ... -iv ...` wants them.
    static QByteArray keyHex();
    static QByteArray ivHex();
};
