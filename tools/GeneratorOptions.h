#pragma once

#include "tools/PacketEncoder.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

// Command line of zr-make-export.
struct GeneratorOptions
{
    QString out;
    QString id;                 // "aaaa-bbbb-cccc-dddd"; random (from the seed) when empty
    int days = 1;
    QDate firstDay = QDate(2025, 3, 14);
    int cameras = 1;
    int firstCamera = 1;
    int minutes = 1;
    QTime start = QTime(8, 0, 0);
    int fileSeconds = 60;
    QSet<int> skip;             // minute numbers (0-based) left out: gaps in the recording
    PacketEncoder::Codec codec = PacketEncoder::Codec::H264;
    int fps = 25;
    int gop = 0;                // 0: same as fps
    int noise = 0;              // sensor noise: luma moves by up to +-noise per picture
    QString preset = QStringLiteral("ultrafast"); // x264/x265 speed preset
    int bitrate = 0;            // kbit/s; 0: constant quality instead
    int width = 640;
    int height = 360;
    int streams = 1;
    bool audio = false;
    int tags = 0;
    int alarms = 0;
    bool previews = false;
    bool cameraList = false;
    bool cameraNames = false;
    bool placeholder = false;
    QStringList faults;
    quint64 seed = 0;
    bool seedGiven = false;
    bool json = false;
    int jobs = 0;               // 0: one per processor
    bool help = false;

    static bool parse(const QStringList& args, GeneratorOptions* options, QString* error);
    static QString usage();
    static QStringList faultKinds();
};
