// A small anti-aliased polygon rasteriser for the fly sprites: exact-area coverage per
// pixel (signed-area accumulation, as font rasterisers do), composited "over" into a
// premultiplied 0xAARRGGBB buffer. Shapes are built in the fly's own frame, in body
// lengths, and placed by a rotation, scale and offset, so any heading draws crisply.
#pragma once

#include <cstdint>
#include <vector>

namespace gnatter {

struct Colour {
    float r, g, b;  // straight (not premultiplied), 0..255
    float a;        // 0..1
};

// Maps the fly's frame (x forward, y to its right, unit = body length) onto pixels.
struct Placement {
    double originX = 0.0, originY = 0.0;  // pixel position of the fly's centre
    double cosH = 1.0, sinH = 0.0;        // heading
    double scale = 1.0;                   // pixels per body length
    // Squeezes or stretches the fly's own frame along its length (x) and across it (y)
    // before it is placed: a squashed body is shorter and wider.
    double stretchX = 1.0, stretchY = 1.0;
};

// Closed polygons that are filled together: where they overlap the coverage simply
// saturates, and a polygon traced the other way round cuts a hole.
class Path {
public:
    explicit Path(const Placement& at) : at_(at) {}
    void clear() { xs_.clear(); ys_.clear(); ends_.clear(); }

    // Points in the fly's frame; close() ends the current polygon.
    void add(double x, double y);
    void close();

    void ellipse(double cx, double cy, double rx, double ry, double angle = 0.0, bool hole = false);
    // Part of an ellipse between x0 and x1 (the fly's frame, ellipse axis-aligned).
    void ellipseSlice(double cx, double cy, double rx, double ry, double x0, double x1);
    // A stroke of width w (in pixels, so thin lines keep a visible minimum) along p0-p1,
    // squared off half a width beyond both ends so that joints close up.
    void segment(double x0, double y0, double x1, double y1, double widthPixels);
    // The same, narrowing (or widening) evenly from width w0 at p0 to w1 at p1, each
    // end squared off half its own width beyond its point.
    void taperedSegment(double x0, double y0, double x1, double y1, double w0Pixels, double w1Pixels);
    // A polyline through n points.
    void polyline(const double* xy, int n, double widthPixels);

    double pixelsPerUnit() const { return at_.scale; }
    const std::vector<float>& xs() const { return xs_; }
    const std::vector<float>& ys() const { return ys_; }
    const std::vector<int>& ends() const { return ends_; }

private:
    int segmentsFor(double rx, double ry) const;
    Placement at_;
    std::vector<float> xs_, ys_;  // pixels
    std::vector<int> ends_;       // one past each polygon's last point
};

// A premultiplied picture to lay over a canvas, keeping only what is not clear: the box
// round it, and in each row only the span from its first to its last drawn pixel (rows
// packed one after another), so a fly drawn at a slant costs half its box.
struct Layer {
    int x = 0, y = 0;           // the box's top-left corner in the picture it was taken from
    int width = 0, height = 0;  // the box
    std::vector<std::uint32_t> pixels;      // the spans, top row first
    std::vector<int> spanBegin, spanStart;  // per row: first drawn column, its index in pixels
                                            // (row y's span ends where row y + 1's starts)
    // Takes the drawn part of a width x height picture.
    void take(const std::uint32_t* picture, int width, int height);
    std::size_t bytes() const {
        return (pixels.size() + spanBegin.size() + spanStart.size()) * sizeof(std::uint32_t);
    }
};

class Canvas {
public:
    Canvas(std::uint32_t* pixels, int width, int height) : px_(pixels), w_(width), h_(height) {}

    void fill(const Path& path, Colour colour);

    // A soft-edged shadow: a blurred ellipse (pixel space), darkest in the middle.
    struct SoftEllipse {
        double cx, cy, rx, ry, cosA, sinA;
    };
    void shadow(const SoftEllipse& ellipse, double blurPixels, float alpha);

    // Premultiplied "over", where the layer was taken from (its box at layer.x, layer.y).
    void drawLayer(const Layer& layer);

private:
    std::uint32_t* px_;
    int w_, h_;
};

}  // namespace gnatter
