#include "store/StoredIndexHash.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <array>

namespace {

// Deeper than any index goes; deeper documents are left to the library and its own limit.
constexpr int kMaxDepth = 64;
// A file is read in pieces of this size into one buffer: a whole day's index read at once costs
// more in fresh memory than the pass over it.
constexpr qint64 kPiece = 64 * 1024;

// Bytes a string holds as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> plainBytes()
{
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[size_t(c)] = c != '"' && c != '\\';
    return table;
}
constexpr std::array<bool, 256> kPlain = plainBytes();

bool isHex(uchar c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

class Pass
{
public:
    using Scan = StoredIndexHash::Scan;

    // Over bytes in memory.
    Pass(const uchar* begin, const uchar* end) : m_p(begin), m_end(end) {}
    // Over a device, read in pieces from where it stands.
    explicit Pass(QIODevice* device) : m_device(device), m_buffer(kPiece, Qt::Uninitialized) {}

    Scan run(QString* value)
    {
        space();
        if (atEnd())
            return m_verdict;
        if (*m_p != '{')
            return Scan::Unsure;
        if (!object(0, true))
            return m_verdict;
        space();
        if (!atEnd())
            return Scan::Unsure; // the library says what follows the document is
        if (m_verdict != Scan::Truncated)
            return m_verdict; // the device failed
        if (m_count == 0)
            return Scan::Absent;
        if (m_count > 1 || !m_plainValue)
            return Scan::Unsure; // the library decides which member counts, and its text
        // An empty text is still a text, not the null of a missing member.
        *value = m_value.isEmpty() ? QStringLiteral("") : QString::fromLatin1(m_value);
        return Scan::Found;
    }

private:
    bool stop(Scan verdict)
    {
        m_verdict = verdict;
        return false;
    }
    bool unsure() { return stop(Scan::Unsure); }

    // True when no byte is left, the device's next piece read in if there is one. The verdict
    // is then Truncated, or Unsure when the device failed (the library is asked, and fails too).
    bool atEnd()
    {
        if (m_p != m_end)
            return false;
        if (m_device) {
            const qint64 n = m_device->read(m_buffer.data(), kPiece);
            if (n > 0) {
                m_p = reinterpret_cast<const uchar*>(m_buffer.constData());
                m_end = m_p + n;
                return false;
            }
            if (n < 0) {
                m_verdict = Scan::Unsure;
                return true;
            }
        }
        m_verdict = Scan::Truncated;
        return true;
    }
    // At the end inside a value: no document.
    bool ended() { return false; }

    void space()
    {
        while (!atEnd() && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    // The continuation bytes of one UTF-8 sequence whose first byte is at m_p, as strict
    // decoding takes them (no overlong forms, no surrogates, nothing past U+10FFFF).
    bool utf8()
    {
        const uchar lead = *m_p;
        int more = 0;
        uchar low = 0x80;
        uchar high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            more = 1;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            more = 2;
            if (lead == 0xe0)
                low = 0xa0;
            else if (lead == 0xed)
                high = 0x9f;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            more = 3;
            if (lead == 0xf0)
                low = 0x90;
            else if (lead == 0xf4)
                high = 0x8f;
        } else {
            return unsure();
        }
        ++m_p;
        for (int i = 0; i < more; ++i, ++m_p) {
            if (atEnd())
                return ended();
            if (*m_p < low || *m_p > high)
                return unsure();
            low = 0x80;
            high = 0xbf;
        }
        return true;
    }

    // A string from its opening quote. With text given, its bytes are kept there up to limit
    // of them; plain tells whether they were all plain and all kept, escaped whether it held
    // an escape sequence.
    bool string(QByteArray* text = nullptr, qsizetype limit = 0, bool* plain = nullptr, bool* escaped = nullptr)
    {
        ++m_p;
        bool allPlain = true;
        for (;;) {
            const uchar* from = m_p;
            while (m_p != m_end && kPlain[*m_p])
                ++m_p;
            if (text && allPlain) {
                if (text->size() + (m_p - from) > limit)
                    allPlain = false;
                else
                    text->append(reinterpret_cast<const char*>(from), m_p - from);
            }
            if (m_p == m_end) {
                if (atEnd())
                    return ended();
                continue; // the next piece
            }
            const uchar c = *m_p;
            if (c == '"') {
                ++m_p;
                if (plain)
                    *plain = allPlain;
                return true;
            }
            allPlain = false;
            if (c == '\\') {
                if (escaped)
                    *escaped = true;
                ++m_p;
                if (atEnd())
                    return ended();
                const uchar e = *m_p++;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++m_p) {
                        if (atEnd())
                            return ended();
                        if (!isHex(*m_p))
                            return unsure();
                    }
                } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r'
                           && e != 't') {
                    return unsure();
                }
            } else if (c < 0x20) {
                return unsure();
            } else if (!utf8()) {
                return false;
            }
        }
    }

    bool literal(const char* word)
    {
        for (; *word; ++word, ++m_p) {
            if (atEnd())
                return ended();
            if (*m_p != uchar(*word))
                return unsure();
        }
        return true;
    }

    bool value(int depth)
    {
        if (atEnd())
            return ended();
        switch (*m_p) {
        case '"': return string();
        case '{': return object(depth + 1, false);
        case '[': return array(depth + 1);
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return literal("null");
        default: return unsure(); // numbers, and anything else
        }
    }

    // After a member or an element: true at the closing bracket (taken), false with more to
    // come (the comma taken); stop tells whether the pass ended there.
    bool closes(uchar bracket, bool* stop)
    {
        *stop = true;
        space();
        if (atEnd())
            return ended();
        if (*m_p == bracket) {
            ++m_p;
            *stop = false;
            return true;
        }
        if (*m_p != ',')
            return unsure();
        ++m_p;
        space();
        if (atEnd())
            return ended();
        *stop = false;
        return false;
    }

    bool array(int depth)
    {
        if (depth > kMaxDepth)
            return unsure();
        ++m_p;
        space();
        if (atEnd())
            return ended();
        if (*m_p == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            if (!value(depth))
                return false;
            bool stopped = false;
            if (closes(']', &stopped))
                return true;
            if (stopped)
                return false;
        }
    }

    bool object(int depth, bool top)
    {
        static constexpr QByteArrayView kKey("last_modified");
        if (depth > kMaxDepth)
            return unsure();
        ++m_p;
        space();
        if (atEnd())
            return ended();
        if (*m_p == '}') {
            ++m_p;
            return true;
        }
        QByteArray key;
        for (;;) {
            if (*m_p != '"')
                return unsure();
            bool ours = false;
            if (top) {
                // An escaped key may still read "last_modified": the library decides.
                key.clear();
                bool plain = false;
                bool escaped = false;
                if (!string(&key, kKey.size(), &plain, &escaped))
                    return false;
                if (escaped)
                    return unsure();
                ours = plain && QByteArrayView(key) == kKey;
            } else if (!string()) {
                return false;
            }
            space();
            if (atEnd())
                return ended();
            if (*m_p != ':')
                return unsure();
            ++m_p;
            space();
            if (atEnd())
                return ended();
            if (ours) {
                ++m_count;
                m_value.clear();
                if (*m_p == '"') {
                    // A day's hash is 64 characters; a longer text is left to the library.
                    if (!string(&m_value, 1024, &m_plainValue))
                        return false;
                } else {
                    m_plainValue = false; // no text: the library gives null for it
                    if (!value(depth))
                        return false;
                }
            } else if (!value(depth)) {
                return false;
            }
            bool stopped = false;
            if (closes('}', &stopped))
                return true;
            if (stopped)
                return false;
        }
    }

    QIODevice* m_device = nullptr;
    QByteArray m_buffer;
    const uchar* m_p = nullptr;
    const uchar* m_end = nullptr;
    Scan m_verdict = Scan::Unsure;
    int m_count = 0;
    QByteArray m_value;
    bool m_plainValue = false;
};

} // namespace

StoredIndexHash::Scan StoredIndexHash::scan(QByteArrayView json, QString* value)
{
    const auto* begin = reinterpret_cast<const uchar*>(json.data());
    return Pass(begin, begin + json.size()).run(value);
}

StoredIndexHash::Scan StoredIndexHash::scan(QIODevice* device, QString* value)
{
    return Pass(device).run(value);
}

namespace {

QString libraryValue(const QByteArray& json)
{
    const QJsonValue member = QJsonDocument::fromJson(json).object().value(QStringLiteral("last_modified"));
    return member.isString() ? member.toString() : QString();
}

} // namespace

QString StoredIndexHash::fromJson(QByteArrayView json)
{
    QString value;
    switch (scan(json, &value)) {
    case Scan::Found: return value;
    case Scan::Absent:
    case Scan::Truncated: return QString();
    case Scan::Unsure: break;
    }
    return libraryValue(json.toByteArray());
}

QString StoredIndexHash::fromFile(QIODevice* device)
{
    QString value;
    switch (scan(device, &value)) {
    case Scan::Found: return value;
    case Scan::Absent:
    case Scan::Truncated: return QString();
    case Scan::Unsure: break;
    }
    if (!device->seek(0))
        return QString();
    return libraryValue(device->readAll());
}
