#include "ptz/DomParser.h"

#include "ptz/Onvif_ptz.h"

#include <QXmlStreamReader>

#include <cmath>

DomParser::DomParser()
    : QObject(nullptr)
    , ptz(new Onvif_ptz())
{
}

DomParser::~DomParser()
{
    delete ptz;
}

bool DomParser::parse(const QByteArray& bytes)
{
    if (bytes.size() > max_bytes) {
        error = QStringLiteral("answer too large");
        return false;
    }
    QXmlStreamReader xml(bytes);
    QStringList path;
    int elements = 0;
    bool in_fault_reason = false;
    QString range_owner;   // "PanTilt"/"Zoom" velocity space being read
    float x_min = 0, x_max = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++elements > max_elements || path.size() >= max_depth) {
                error = QStringLiteral("answer too complex");
                return false;
            }
            const QString name = xml.name().toString();
            path.append(name);
            for (const auto& decl : xml.namespaceDeclarations())
                if (namespaces.size() < 256)
                    namespaces.insert(decl.prefix().toString(), decl.namespaceUri().toString());
            for (const auto& attribute : xml.attributes()) {
                const QString key = name + QLatin1Char('@') + attribute.name().toString();
                if (!attributes.contains(key) && attributes.size() < 4096)
                    attributes.insert(key, attribute.value().toString().left(256));
            }
            if (name == QLatin1String("Profiles")) {
                const QString t = xml.attributes().value(QLatin1String("token")).toString().left(64);
                if (!t.isEmpty() && profile_tokens.size() < 256)
                    profile_tokens.append(t);
            }
            if (name == QLatin1String("Fault") && !values.contains(name))
                values.insert(name, QString()); // a fault is known by its element alone
            if (name == QLatin1String("Reason") && path.contains(QLatin1String("Fault")))
                in_fault_reason = true;
            if (name == QLatin1String("ContinuousPanTiltVelocitySpace"))
                range_owner = QStringLiteral("PanTilt");
            else if (name == QLatin1String("ContinuousZoomVelocitySpace"))
                range_owner = QStringLiteral("Zoom");
        } else if (token == QXmlStreamReader::Characters && !xml.isWhitespace() && !path.isEmpty()) {
            const QString text = xml.text().toString().trimmed().left(1024);
            const QString& name = path.last();
            if (!values.contains(name) && values.size() < 4096)
                values.insert(name, text);
            if (in_fault_reason && name == QLatin1String("Text") && fault.isEmpty())
                fault = text.left(200);
            if (!range_owner.isEmpty() && path.size() >= 2) {
                const QString& parent = path.at(path.size() - 2);
                bool ok = false;
                const float v = text.toFloat(&ok);
                if (ok && std::isfinite(v)) {
                    if (name == QLatin1String("Min"))
                        x_min = v;
                    else if (name == QLatin1String("Max"))
                        x_max = v;
                    if (name == QLatin1String("Max") && x_min < x_max) {
                        if (range_owner == QLatin1String("PanTilt") && parent == QLatin1String("XRange"))
                            ptz->pan_velocity = {x_min, x_max};
                        else if (range_owner == QLatin1String("PanTilt") && parent == QLatin1String("YRange"))
                            ptz->tilt_velocity = {x_min, x_max};
                        else if (range_owner == QLatin1String("Zoom") && parent == QLatin1String("XRange"))
                            ptz->zoom_velocity = {x_min, x_max};
                        ptz->continuous_supported = true;
                    }
                }
            }
        } else if (token == QXmlStreamReader::EndElement && !path.isEmpty()) {
            const QString name = path.takeLast();
            if (name == QLatin1String("Reason"))
                in_fault_reason = false;
            if (name == QLatin1String("ContinuousPanTiltVelocitySpace") || name == QLatin1String("ContinuousZoomVelocitySpace"))
                range_owner.clear();
        }
    }
    if (xml.hasError()) {
        error = xml.errorString();
        return false;
    }
    return true;
}
