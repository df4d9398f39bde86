#include "display/DewarpGeometry.h"

#include <cmath>

namespace {
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

int distance(int x, int y, int cx, int cy)
{
    const double dx = double(x) - cx;
    const double dy = double(y) - cy;
    return static_cast<int>(std::sqrt(dy * dy + dx * dx));
}
} // namespace

DewarpState dewarp_state_for(int w, int h)
{
    DewarpState s;
    s.width = w;
    s.height = h;
    s.out_width = w;
    s.out_height = h;
    s.centre_x = static_cast<int>(w * 0.5);
    s.centre_y = static_cast<int>(h * 0.5);
    return s;
}

DewarpGeometry compute_dewarp_geometry(float pan, float zoom, float fov, DewarpState& s)
{
    DewarpGeometry g;
    const float h = fov * 0.5f;
    g.start_angle = pan - h;
    g.direction_angle = static_cast<float>((pan - 180.0f) * kDegToRad);
    g.middle_angle = static_cast<float>((pan - h) * kDegToRad);
    g.low_angle = static_cast<float>((pan - h - h) * kDegToRad);
    g.high_angle = static_cast<float>((pan - h + h) * kDegToRad);

    const int rw = s.width / 2;
    const int rh = s.height / 2;
    const auto point = [&](float a, int& x, int& y, int& d) {
        x = static_cast<int>(std::cos(a) * rw + s.centre_x);
        y = static_cast<int>(std::sin(a) * rh + s.centre_y);
        d = distance(x, y, s.centre_x, s.centre_y);
    };
    point(g.low_angle, g.low_x, g.low_y, g.low_distance);
    point(g.middle_angle, g.middle_x, g.middle_y, g.middle_distance);
    point(g.high_angle, g.high_x, g.high_y, g.high_distance);
    g.chord = distance(g.high_x, g.high_y, g.low_x, g.low_y);
    g.direction_cos = std::cos(g.direction_angle);
    g.direction_sin = std::sin(g.direction_angle);

    // An empty output has no steps (rather than infinite ones).
    s.angle_step = s.out_width > 0 ? fov / static_cast<float>(s.out_width) : 0.0f;
    s.radial_step = s.out_width > 0 ? static_cast<float>(g.chord) / static_cast<float>(s.out_width) : 0.0f;
    s.largest_offset = static_cast<int>(static_cast<float>(g.middle_distance) * 1.25f - static_cast<float>(g.chord));
    if (zoom > 0 && s.largest_offset >= 1)
        s.zoom_offset = static_cast<int>(static_cast<float>(s.largest_offset) * zoom / 100.0f);
    return g;
}

DewarpColumn dewarp_column(const DewarpGeometry& g, const DewarpState& s, float angle, int column)
{
    DewarpColumn col;
    const int rw = s.width / 2;
    const int rh = s.height / 2;
    col.edge_x = static_cast<int>(std::cos(angle * kDegToRad) * rw + s.centre_x);
    col.edge_y = static_cast<int>(std::sin(angle * kDegToRad) * rh + s.centre_y);
    const int base = distance(col.edge_x, col.edge_y, s.centre_x, s.centre_y);
    const float t = static_cast<float>(column) * s.radial_step;
    const int hc = g.chord / 2;
    const int offset = column < s.out_width / 2 ? static_cast<int>(static_cast<float>(hc) - t)
                                                : static_cast<int>(t - static_cast<float>(hc));
    // A negative offset beyond the base would leave no real depth.
    const double square = double(base) * base - double(offset) * offset;
    col.depth = base > offset && square > 0 ? static_cast<int>(std::sqrt(square)) : 0;
    if (2 * col.depth > g.chord)
        col.depth = g.chord / 2;
    return col;
}

QPoint dewarp_source_point(const DewarpGeometry& g, const DewarpState& s, const DewarpColumn& col, int row)
{
    const float pct = s.out_height > 0 ? static_cast<float>(row) * 100.0f / static_cast<float>(s.out_height) : 0.0f;
    const int radius = static_cast<int>(2.0f * static_cast<float>(col.depth) * pct / 100.0f
                                        + static_cast<float>(s.zoom_offset));
    return QPoint(static_cast<int>(static_cast<float>(radius) * g.direction_cos + static_cast<float>(col.edge_x)),
                  static_cast<int>(static_cast<float>(radius) * g.direction_sin + static_cast<float>(col.edge_y)));
}

float next_dewarp_angle(float angle, const DewarpState& s)
{
    angle += s.angle_step;
    if (angle >= 360.0f)
        angle -= 360.0f;
    return angle;
}

QPoint dewarp_point(const DewarpGeometry& g, const DewarpState& s, int column, int row)
{
    float a = g.start_angle;
    for (int c = 0; c < column; ++c)
        a = next_dewarp_angle(a, s);
    return dewarp_source_point(g, s, dewarp_column(g, s, a, column), row);
}

float wrap_dewarp_pan(float a)
{
    if (a >= 360.0f)
        return a - 360.0f;
    if (a < 0.0f)
        return a + 360.0f;
    return a;
}

float clamp_dewarp_zoom(float z)
{
    if (z >= 100.0f)
        return 100.0f;
    if (z <= 0.0f)
        return 0.1f;
    return z;
}
