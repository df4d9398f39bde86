#pragma once

// Small helpers shared by the integrity tests: a hand-made day folder with its hash list, and
// a recorder of the check's signals in the order they were emitted.

#include "store/Encrypt.h"
#include "store/IntegrityCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace integritytest {

inline QString sha256Hex(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

inline bool writeBytes(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Flips one byte of a file in place (the file belongs to the test's own fixture).
inline bool flipByte(const QString& path, qint64 offset)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset))
        return false;
    char c = 0;
    if (f.read(&c, 1) != 1 || !f.seek(offset))
        return false;
    c = static_cast<char>(c ^ 0x5a);
    return f.write(&c, 1) == 1;
}

// A day folder "zrnova_aaaa-bbbb-cccc-dddd/2026-12-01" in a temporary folder, its files and
// the entries the recorder would list for them ("path" written with "\" as the recorder does).
class HandMadeDay
{
public:
    HandMadeDay()
    {
        exportPath = dir.path() + QStringLiteral("/zrnova_aaaa-bbbb-cccc-dddd");
        dayPath = exportPath + QStringLiteral("/2026-12-01");
        QDir().mkpath(dayPath);
    }

    // Writes the file and returns its entry.
    QJsonObject add(const QString& relative, const QByteArray& data)
    {
        const QString abs = dayPath + QLatin1Char('/') + relative;
        writeBytes(abs, data);
        QJsonObject entry;
        entry.insert(QStringLiteral("file"), QFileInfo(abs).fileName());
        entry.insert(QStringLiteral("absolutepath"), abs);
        entry.insert(QStringLiteral("path"), QString(relative).replace(QLatin1Char('/'), QLatin1Char('\\')));
        entry.insert(QStringLiteral("sha256"), sha256Hex(data));
        entries.append(entry);
        return entry;
    }

    bool writeHashList(const QJsonArray& list) const
    {
        const std::string plain = QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
        return Encrypt().encrypt_to_file(plain, dayPath + QStringLiteral("/hash.json")) == 1;
    }
    bool writeHashList() const { return writeHashList(entries); }

    QTemporaryDir dir;
    QString exportPath;
    QString dayPath;
    QJsonArray entries;
};

inline QString tf(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// Records the check's signals, from its own thread (connect with Qt::DirectConnection).
class SignalLog
{
public:
    void attach(IntegrityCheck* check)
    {
        QObject::connect(check, &IntegrityCheck::hash_file_found, check,
                         [this](bool b) { add(QStringLiteral("hash_file_found(%1)").arg(tf(b))); }, Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::file_count, check,
                         [this](int n) { add(QStringLiteral("file_count(%1)").arg(n)); }, Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::start_check, check,
                         [this] { add(QStringLiteral("start_check()")); }, Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::file_count_check, check,
                         [this](bool b) { add(QStringLiteral("file_count_check(%1)").arg(tf(b))); }, Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::begin_check_file, check,
                         [this](const QString& f) { add(QStringLiteral("begin_check_file(%1)").arg(f)); },
                         Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::end_check_file, check,
                         [this](const QString& f, bool b) { add(QStringLiteral("end_check_file(%1,%2)").arg(f).arg(tf(b))); },
                         Qt::DirectConnection);
        QObject::connect(check, &IntegrityCheck::end_check, check,
                         [this](bool b) { add(QStringLiteral("end_check(%1)").arg(tf(b))); }, Qt::DirectConnection);
    }

    QStringList items() const
    {
        QMutexLocker lock(&mutex);
        return list;
    }

private:
    void add(const QString& s)
    {
        QMutexLocker lock(&mutex);
        list.append(s);
    }

    mutable QMutex mutex;
    QStringList list;
};

// Runs a check of dayPath to its end and returns its signals.
inline QStringList runCheck(const QString& dayPath, bool* verdict = nullptr)
{
    IntegrityCheck check(dayPath);
    SignalLog log;
    log.attach(&check);
    check.start();
    check.wait();
    if (verdict)
        *verdict = check.get_result();
    return log.items();
}

// The signals of a check that hashes every entry and validates.
inline QStringList validSequence(const QStringList& names)
{
    QStringList s{QStringLiteral("hash_file_found(true)"), QStringLiteral("file_count(%1)").arg(names.size()),
                  QStringLiteral("start_check()"), QStringLiteral("file_count_check(true)")};
    for (const QString& n : names) {
        s << QStringLiteral("begin_check_file(%1)").arg(n) << QStringLiteral("end_check_file(%1,true)").arg(n);
    }
    s << QStringLiteral("end_check(true)");
    return s;
}

} // namespace integritytest
