#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

// What the audio player needs to know of an HTTP answer before it plays a stream: the content
// type of what is carried and whether it comes as a multipart stream.
class Http_header_parser : public QObject
{
    Q_OBJECT

public:
    Http_header_parser();
    Http_header_parser(QString content_type, bool multipart);

    QString get_content_type() const { return content_type; }
    bool is_multipart() const { return multipart; }
    // Boundary of a multipart answer, empty otherwise.
    QString get_boundary() const { return boundary; }
    // Set once the blank line that ends a header block has been read.
    bool is_complete() const { return complete; }

    // Reads one header line of the answer or of a part (as a download's header callback hands
    // them over). A multipart Content-Type sets the multipart flag and the boundary; any other
    // Content-Type becomes the content type (lower case, without parameters), so the type of a
    // multipart stream's parts wins over the envelope's.
    void read_header_line(const QByteArray& line);

private:
    QString content_type;
    QString boundary;
    bool complete = false;
    bool multipart = false;
};

Q_DECLARE_METATYPE(Http_header_parser*)
