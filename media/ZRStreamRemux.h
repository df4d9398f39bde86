#pragma once

#include <QObject>
#include <QString>

// Copies the video, audio and subtitle streams of a file or URL into another container
// without decoding, at a fixed frame rate, then gives the result its final name and deletes
// the input. Runs in the caller's thread; one call shares nothing with another.
class ZRStreamRemux : public QObject
{
    Q_OBJECT

public:
    ZRStreamRemux();
    ~ZRStreamRemux() override;

    // 0: copied, the output bears final_name (blanks of its file name turned into "_") and the
    // input is deleted. 1: no memory, a failed write or read, or the result could not take its
    // final name; the input is then kept. -15 to -21: the set-up step that failed.
    int remux(QString input, QString output_file, QString final_name, double fps);

    // final_name with every blank of its last path element replaced by "_"; folders untouched.
    static QString final_file_name(const QString& final_name);
};
