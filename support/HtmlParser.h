#pragma once

#include <QObject>
#include <QStringList>

// Kept for the diagnostics family; it holds an empty list and has no behaviour.
class HtmlParser : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

private:
    QStringList items;
};
