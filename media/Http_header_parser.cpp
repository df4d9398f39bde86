#include "media/Http_header_parser.h"

Http_header_parser::Http_header_parser() : QObject(nullptr) {}

Http_header_parser::Http_header_parser(QString type, bool is_multipart)
    : QObject(nullptr), content_type(std::move(type)), multipart(is_multipart)
{
}

void Http_header_parser::read_header_line(const QByteArray& raw)
{
    const QByteArray line = raw.trimmed();
    if (line.isEmpty()) {
        complete = true;
        return;
    }
    const int colon = line.indexOf(':');
    if (colon <= 0 || line.left(colon).trimmed().toLower() != "content-type")
        return;
    const QList<QByteArray> parts = line.mid(colon + 1).split(';');
    const QString type = QString::fromLatin1(parts.value(0).trimmed().toLower());
    if (type.startsWith(QLatin1String("multipart/"))) {
        multipart = true;
        for (int i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts[i].trimmed();
            if (p.toLower().startsWith("boundary="))
                boundary = QString::fromLatin1(p.mid(9)).remove(QLatin1Char('"'));
        }
        return;
    }
    content_type = type;
}
