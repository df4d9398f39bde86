#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

namespace crashtest {

struct FormPart
{
    QByteArray name;
    QByteArray fileName;    // raw text between the quotes of filename="..."
    bool hasFileName = false;
    QByteArray contentType;
    QByteArray content;
    QByteArray headerBlock;
};

struct FormBody
{
    bool valid = false;
    QString error;
    QList<FormPart> parts;
    int closingDelimiters = 0;

    const FormPart* part(const QByteArray& name) const
    {
        for (const FormPart& p : parts)
            if (p.name == name)
                return &p;
        return nullptr;
    }
    QByteArray value(const QByteArray& name) const
    {
        const FormPart* p = part(name);
        return p ? p->content : QByteArray();
    }
    bool has(const QByteArray& name) const { return part(name) != nullptr; }
    QList<QByteArray> names() const
    {
        QList<QByteArray> out;
        for (const FormPart& p : parts)
            out << p.name;
        return out;
    }
};

// Strict reading of a multipart/form-data body: it must open with the delimiter, end with
// exactly one closing delimiter and CR LF, and every part must carry a name.
inline FormBody parseForm(const QByteArray& body, const QByteArray& boundary)
{
    FormBody out;
    const QByteArray open = "--" + boundary + "\r\n";
    const QByteArray close = "\r\n--" + boundary + "--\r\n";
    const QByteArray separator = "\r\n--" + boundary + "\r\n";
    out.closingDelimiters = body.count("--" + boundary + "--");
    if (!body.startsWith(open)) {
        out.error = QStringLiteral("body does not open with the delimiter");
        return out;
    }
    if (!body.endsWith(close)) {
        out.error = QStringLiteral("body does not end with the closing delimiter");
        return out;
    }
    const QByteArray middle = body.mid(open.size(), body.size() - open.size() - close.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype next = middle.indexOf(separator, from);
        const QByteArray raw = middle.mid(from, next < 0 ? -1 : next - from);
        const qsizetype headerEnd = raw.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            out.error = QStringLiteral("part without a header block");
            return out;
        }
        FormPart part;
        part.headerBlock = raw.left(headerEnd);
        part.content = raw.mid(headerEnd + 4);
        for (const QByteArray& line : part.headerBlock.split('\n')) {
            const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
            if (l.startsWith("Content-Disposition: form-data; name=\"")) {
                const qsizetype start = l.indexOf('"') + 1;
                const qsizetype end = l.indexOf('"', start);
                part.name = l.mid(start, end - start);
                const qsizetype fn = l.indexOf("; filename=\"", end);
                if (fn >= 0) {
                    part.hasFileName = true;
                    const qsizetype fs = fn + 12;
                    part.fileName = l.mid(fs, l.lastIndexOf('"') - fs);
                }
            } else if (l.startsWith("Content-Type: ")) {
                part.contentType = l.mid(14);
            } else {
                out.error = QStringLiteral("unexpected header line: ") + QString::fromUtf8(l);
                return out;
            }
        }
        if (part.name.isEmpty()) {
            out.error = QStringLiteral("part without a name");
            return out;
        }
        out.parts << part;
        if (next < 0)
            break;
        from = next + separator.size();
    }
    out.valid = true;
    return out;
}

} // namespace crashtest
