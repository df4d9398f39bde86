#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class Onvif_ptz;

// Holds what was read from one ONVIF answer: its fault, element texts, profile tokens and,
// in the Onvif_ptz it owns, the pan-tilt-zoom ranges. Parsing is bounded in size, depth and
// element count; a malformed answer yields false and leaves the fields as far as read.
class DomParser : public QObject
{
    Q_OBJECT
public:
    static constexpr int max_bytes = 1024 * 1024;
    static constexpr int max_depth = 64;
    static constexpr int max_elements = 20000;

    DomParser();
    ~DomParser() override;

    bool parse(const QByteArray& xml);

    QString fault;                       // the SOAP fault's reason, empty without one
    QHash<QString, QString> values;      // local element name -> text of its first occurrence
    QStringList profile_tokens;          // "token" of each "Profiles" element
    Onvif_ptz* ptz = nullptr;            // owned
    QHash<QString, QString> attributes;  // "element@attribute" -> first value
    QString error;                       // why parsing failed
    QHash<QString, QString> namespaces;  // prefix -> namespace URI, as declared
};
