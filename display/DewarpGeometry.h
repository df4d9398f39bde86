#pragma once

#include <QPoint>

// Geometry of the fisheye dewarp. A flat view of the source's size unwraps a sector of the
// fisheye ellipse inscribed in the source: each output column follows one direction of the
// ellipse, each output row steps a fixed distance from the ellipse's edge along the direction
// opposite the pan. Angles in degrees grow clockwise from the right (picture y grows downward).
// Float arithmetic; conversions to int truncate toward zero.

struct DewarpGeometry
{
    float start_angle = 0;     // degrees: the first output column
    float direction_angle = 0; // radians, like the four below
    float middle_angle = 0;
    float low_angle = 0;
    float high_angle = 0;
    int low_x = 0;
    int low_y = 0;
    int low_distance = 0;
    int middle_x = 0;
    int middle_y = 0;
    int middle_distance = 0;
    int high_x = 0;
    int high_y = 0;
    int high_distance = 0;
    int chord = 0;
    float direction_cos = 0;
    float direction_sin = 0;
};

// What a dewarp maps: the source and output sizes, the centre, and what the last geometry
// derived from them. The zoom offset carries over when a geometry leaves it unchanged.
struct DewarpState
{
    int width = 0;
    int height = 0;
    int out_width = 0;
    int out_height = 0;
    int centre_x = 0;
    int centre_y = 0;
    float angle_step = 0;  // degrees per output column
    float radial_step = 0; // chord length per output column
    int largest_offset = 0;
    int zoom_offset = 0;
};

// One output column: the ellipse's edge point in its direction and how deep its rows reach.
struct DewarpColumn
{
    int edge_x = 0;
    int edge_y = 0;
    int depth = 0;
};

// The state of a w x h source (output of the same size), nothing derived yet.
DewarpState dewarp_state_for(int w, int h);
// The geometry of pan, zoom (percent) and field of view; sets the state's steps and offsets.
DewarpGeometry compute_dewarp_geometry(float pan, float zoom, float fov, DewarpState& s);
// Column `column`, whose direction is `angle` degrees.
DewarpColumn dewarp_column(const DewarpGeometry& g, const DewarpState& s, float angle, int column);
// The source point of an output row of a column; it may lie outside the source.
QPoint dewarp_source_point(const DewarpGeometry& g, const DewarpState& s, const DewarpColumn& col, int row);
// The direction of the column after one of direction `angle`.
float next_dewarp_angle(float angle, const DewarpState& s);
// The source point of output (column, row), walking the columns from the start angle.
QPoint dewarp_point(const DewarpGeometry& g, const DewarpState& s, int column, int row);

// A pan angle brought back by one turn into 0 .. < 360.
float wrap_dewarp_pan(float a);
// A zoom percentage kept within 0.1 .. 100.
float clamp_dewarp_zoom(float z);
