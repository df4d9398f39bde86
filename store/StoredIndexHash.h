#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// The "last_modified" text of a day index, read without building the document: one pass checks
// that the whole file is well-formed JSON and notes where the member lies. A file the pass
// cannot vouch for (anything the index writer never writes: numbers, escapes in a key, a
// repeated member, a byte-order mark...) is handed to the JSON library, so the answer is
// always the library's: a null text for a truncated, damaged or empty file.
class StoredIndexHash
{
public:
    enum class Scan {
        Found,     // well-formed, one top-level "last_modified" string of plain text
        Absent,    // well-formed top-level object without such a member
        Truncated, // the text ends inside a value, or holds none: no JSON document
        Unsure,    // not for this pass to decide
    };

    // The stored text as the JSON library reads it: null unless json is an object with a
    // string member "last_modified".
    static QString fromJson(QByteArrayView json);
    // The same from a file open for reading at its start, read in pieces (a day's index is
    // megabytes; one piece of memory is used again and again).
    static QString fromFile(QIODevice* file);
    // The pass alone; value receives the member's text when Found.
    static Scan scan(QByteArrayView json, QString* value);
    static Scan scan(QIODevice* file, QString* value);
};
