#pragma once

#include <QString>

// The moment of a list entry as the lists show it.
class VignetteText
{
public:
    // "yyyyMMddHHmmss" written as "yyyy-MM-dd HH:mm:ss"; empty when it does not parse.
    static QString moment(const QString& stamp);
};
