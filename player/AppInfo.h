#pragma once

#include <QObject>
#include <QString>

// Where the program runs, for the QML home page (it opens the export folder the program
// was installed in).
class AppInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appDir READ appDir CONSTANT)
    Q_PROPERTY(QString workingDir READ workingDir CONSTANT)
    Q_PROPERTY(QString parentAppDir READ parentAppDir CONSTANT)
    Q_PROPERTY(QString parentZRNovaDir READ parentZRNovaDir CONSTANT)

public:
    explicit AppInfo(QObject* parent = nullptr);

    QString appDir() const;
    QString workingDir() const;
    QString parentAppDir() const;
    QString parentZRNovaDir() const;

    // The nearest export folder holding start (itself included): an empty start means the
    // program's folder, a file starts at its folder. Empty when no folder on the way up
    // is named like an export.
    static QString findZRNovaDir(const QString& start);
};
