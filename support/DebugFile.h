#pragma once

#include <QObject>

// Kept for the diagnostics family; it has no behaviour of its own.
class DebugFile : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
};
