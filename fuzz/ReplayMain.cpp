// Feeds files to a fuzz target's entry function without fuzzing: every file named on the
// command line, and every file of every folder named there, in name order. A target's broken
// invariant or a sanitizer report ends the program; the test fails on it.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo info(QString::fromLocal8Bit(argv[i]));
        if (info.isDir()) {
            for (const QFileInfo& f : QDir(info.filePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
                files.append(f.filePath());
        } else if (info.isFile()) {
            files.append(info.filePath());
        } else {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return 2;
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 2;
        }
        const QByteArray bytes = file.readAll();
        std::fprintf(stderr, "replay %s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
        std::vector<uint8_t> copy(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(copy.data(), copy.size());
    }
    std::fprintf(stderr, "replayed %lld inputs\n", static_cast<long long>(files.size()));
    return 0;
}
