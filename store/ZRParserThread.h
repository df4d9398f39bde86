#pragma once

#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

// Walks a list of recording data files on its own thread and collects the distinct video
// stream names their seek tables mention, timing the walk in the log.
class ZRParserThread : public QThread
{
    Q_OBJECT

public:
    ZRParserThread();
    // Waits for a running walk: the thread never outlives its lists.
    ~ZRParserThread() override;

    void read_and_parse_zrseek(QString path);

protected:
    void run() override;

private:
    // Only the thread uses these while it runs; read them after finished().
    QStringList video_streams;
    QList<QFileInfo> files;

    friend class TestZRParserThread;
};
