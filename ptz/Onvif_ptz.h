#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>

// The value ranges and flags of a camera's ONVIF pan-tilt-zoom configuration.
class Onvif_ptz : public QObject
{
    Q_OBJECT
public:
    using Range = QPair<float, float>;

    Onvif_ptz() = default;

    Range pan_velocity{-1.0f, 1.0f};
    Range tilt_velocity{-1.0f, 1.0f};
    Range zoom_velocity{-1.0f, 1.0f};
    Range pan_position{-1.0f, 1.0f};
    Range tilt_position{-1.0f, 1.0f};
    Range zoom_position{-1.0f, 1.0f};
    Range pan_translation{-1.0f, 1.0f};
    Range tilt_translation{-1.0f, 1.0f};
    Range zoom_translation{-1.0f, 1.0f};

    bool continuous_supported = false;
    bool absolute_supported = false;
    bool relative_supported = false;
    bool home_supported = false;

    QStringList preset_tokens;
    QStringList preset_names;
    QList<qint64> timeouts;
};
