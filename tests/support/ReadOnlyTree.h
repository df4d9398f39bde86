#pragma once

#include <QString>
#include <QStringList>

namespace zrtest {

// A folder tree made read-only for its lifetime, as on a write-protected medium: write
// permission is taken from every folder and file (and given back to the owner at the end,
// so the tree can be removed), and read and search permission given to others. Its
// fingerprint (every entry's path, size and modification time, hidden ones included) tells
// whether anything in it was created, changed or removed.
class ReadOnlyTree
{
public:
    explicit ReadOnlyTree(const QString& root);
    ~ReadOnlyTree();
    ReadOnlyTree(const ReadOnlyTree&) = delete;
    ReadOnlyTree& operator=(const ReadOnlyTree&) = delete;

    bool isValid() const { return m_valid; }
    static QStringList fingerprint(const QString& root);
    // Entries that differ from the fingerprint taken when the tree was made read-only.
    QStringList changes() const;

private:
    QString m_root;
    QStringList m_before;
    bool m_valid = false;
};

} // namespace zrtest
