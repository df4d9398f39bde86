#pragma once

#include <QString>

#include <string>

// Whole-file AES-256-CBC with the system's constant key and initialisation vector. Every
// encrypted file of an export (camera information, merged camera list, tags, hash list) is
// read, and the merged camera list written, through this class. Stateless: each call has its
// own cipher context and buffers, so calls from several threads need no lock.
class Encrypt
{
public:
    Encrypt() = default;

    // Plaintext of the whole file; empty on every failure.
    std::string decrypt_file(const QString& path);
    // 1 when the whole ciphertext was written, -1 on failure. Missing folders are created.
    int encrypt_to_file(std::string plaintext, const QString& path);

    // Decrypts length bytes into out (room for length + 16 bytes); the plaintext length or -1.
    int decrypt(const unsigned char* ciphertext, int length, const unsigned char* key,
                const unsigned char* iv, unsigned char* out);
    // The key and IV texts decoded two hexadecimal digits to a byte.
    bool decode_hex_key_iv(unsigned char key[32], unsigned char iv[16]);
    // Bytes read into a new malloc'ed buffer (caller frees); 0 for an empty file; -1 on failure.
    int read_file(const QString& path, unsigned char** buffer);
    // 1 on success, -1 on failure.
    int write_to_file(const QString& path, const unsigned char* data, int length);

    // Files larger than this are refused: none of the encrypted kinds comes near it.
    static constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
};
