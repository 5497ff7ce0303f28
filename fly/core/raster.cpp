// Coverage rasterisation: every polygon edge adds its signed area to an accumulation
// buffer over the path's bounding box, a running sum along each row then gives each
// pixel's exact coverage. Only the span each row actually touched is visited, so thin
// legs and small eyes cost little however they are rotated.
#include "raster.h"

#include "fly_math.h"

#include <algorithm>
#include <cmath>

namespace gnatter {
namespace {

struct Scratch {
    std::vector<float> acc;
    std::vector<int> rowMin, rowMax;
};

Scratch& scratch() {
    static thread_local Scratch s;
    return s;
}

// Opaque colour with alpha 255, premultiplied trivially; blending it in at weight
// w/256 is exactly "over" with the colour premultiplied by that weight.
inline std::uint32_t packOpaque(const Colour& c) {
    auto channel = [](float v) { return std::uint32_t(std::min(255.0f, std::max(0.0f, v)) + 0.5f); };
    return 0xff000000u | (channel(c.r) << 16) | (channel(c.g) << 8) | channel(c.b);
}

// Two channels at a time (red with blue, alpha with green): each product fits in 16 bits.
// Colour never exceeds alpha on either side, so the weighted sums keep it that way.
inline std::uint32_t blend(std::uint32_t dst, std::uint32_t src, std::uint32_t weight) {
    const std::uint32_t keep = 256u - weight;
    const std::uint32_t rb = (((src & 0x00ff00ffu) * weight + (dst & 0x00ff00ffu) * keep) >> 8) & 0x00ff00ffu;
    const std::uint32_t ag = (((src >> 8) & 0x00ff00ffu) * weight + ((dst >> 8) & 0x00ff00ffu) * keep) & 0xff00ff00u;
    return rb | ag;
}

}  // namespace

void Path::add(double x, double y) {
    x *= at_.stretchX;
    y *= at_.stretchY;
    xs_.push_back(float(at_.originX + (x * at_.cosH - y * at_.sinH) * at_.scale));
    ys_.push_back(float(at_.originY + (x * at_.sinH + y * at_.cosH) * at_.scale));
}

void Path::close() {
    if (ends_.empty() ? !xs_.empty() : int(xs_.size()) > ends_.back()) ends_.push_back(int(xs_.size()));
}

int Path::segmentsFor(double rx, double ry) const {
    const double r = std::max(rx, ry) * at_.scale;
    return std::min(48, std::max(8, int(std::sqrt(r) * 5.0)));
}

void Path::ellipse(double cx, double cy, double rx, double ry, double angle, bool hole) {
    const int n = segmentsFor(rx, ry);
    const double ca = fm::cos(angle), sa = fm::sin(angle);
    // Walk the unit circle by repeated rotation: one sine and cosine per ellipse.
    const double step = (hole ? -fm::kTwoPi : fm::kTwoPi) / n;
    const double cs = fm::cos(step), sn = fm::sin(step);
    double ux = 1.0, uy = 0.0;
    for (int i = 0; i < n; ++i) {
        const double ex = rx * ux, ey = ry * uy;
        add(cx + ex * ca - ey * sa, cy + ex * sa + ey * ca);
        const double nx = ux * cs - uy * sn;
        uy = ux * sn + uy * cs;
        ux = nx;
    }
    close();
}

void Path::ellipseSlice(double cx, double cy, double rx, double ry, double x0, double x1) {
    const int n = 6;
    auto halfWidth = [&](double x) {
        const double u = (x - cx) / rx;
        return u >= 1.0 || u <= -1.0 ? 0.0 : ry * std::sqrt(1.0 - u * u);
    };
    for (int i = 0; i <= n; ++i) {
        const double x = x0 + (x1 - x0) * i / n;
        add(x, cy - halfWidth(x));
    }
    for (int i = n; i >= 0; --i) {
        const double x = x0 + (x1 - x0) * i / n;
        add(x, cy + halfWidth(x));
    }
    close();
}

void Path::segment(double x0, double y0, double x1, double y1, double widthPixels) {
    taperedSegment(x0, y0, x1, y1, widthPixels, widthPixels);
}

void Path::taperedSegment(double x0, double y0, double x1, double y1, double w0Pixels, double w1Pixels) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len <= 0.0) return;
    const double h0 = 0.5 * w0Pixels / at_.scale / len, h1 = 0.5 * w1Pixels / at_.scale / len;
    const double ax = dx * h0, ay = dy * h0, bx = dx * h1, by = dy * h1;
    // Traced in the same turning sense as ellipse(), so overlaps add up rather than cancel.
    add(x0 - ax + ay, y0 - ay - ax);
    add(x1 + bx + by, y1 + by - bx);
    add(x1 + bx - by, y1 + by + bx);
    add(x0 - ax - ay, y0 - ay + ax);
    close();
}

void Path::polyline(const double* xy, int n, double widthPixels) {
    for (int i = 0; i + 1 < n; ++i) segment(xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3], widthPixels);
}

void Canvas::fill(const Path& path, Colour colour) {
    const std::vector<float>& xs = path.xs();
    const std::vector<float>& ys = path.ys();
    if (xs.empty()) return;
    float minX = xs[0], maxX = xs[0], minY = ys[0], maxY = ys[0];
    for (std::size_t i = 1; i < xs.size(); ++i) {
        minX = std::min(minX, xs[i]);
        maxX = std::max(maxX, xs[i]);
        minY = std::min(minY, ys[i]);
        maxY = std::max(maxY, ys[i]);
    }
    // The box the path covers, clipped to the canvas; everything is measured from its corner.
    const int bx0 = std::max(0, int(std::floor(minX))), by0 = std::max(0, int(std::floor(minY)));
    const int bx1 = std::min(w_, int(std::ceil(maxX)) + 1), by1 = std::min(h_, int(std::ceil(maxY)) + 1);
    if (bx0 >= bx1 || by0 >= by1) return;
    const int bw = bx1 - bx0, bh = by1 - by0;
    const int stride = bw + 2;  // edges may touch one column past the box
    Scratch& s = scratch();
    if (s.acc.size() < std::size_t(stride) * bh) s.acc.resize(std::size_t(stride) * bh, 0.0f);
    if (s.rowMin.size() < std::size_t(bh)) {
        s.rowMin.resize(std::size_t(bh));
        s.rowMax.resize(std::size_t(bh));
    }
    std::fill(s.rowMin.begin(), s.rowMin.begin() + bh, stride);
    std::fill(s.rowMax.begin(), s.rowMax.begin() + bh, -1);
    float* acc = s.acc.data();
    int* rowMin = s.rowMin.data();
    int* rowMax = s.rowMax.data();
    const float fw = float(bw), fh = float(bh);

    auto line = [&](float x0, float y0, float x1, float y1) {
        // Clamp into the box: anything outside the canvas is lost, but memory stays safe.
        x0 = std::min(std::max(x0 - bx0, 0.0f), fw);
        x1 = std::min(std::max(x1 - bx0, 0.0f), fw);
        y0 = std::min(std::max(y0 - by0, 0.0f), fh);
        y1 = std::min(std::max(y1 - by0, 0.0f), fh);
        if (y0 == y1) return;
        float dir = 1.0f;
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dir = -1.0f;
        }
        const float dxdy = (x1 - x0) / (y1 - y0);
        const float rowSpanInverse = dxdy != 0.0f ? 1.0f / std::fabs(dxdy) : 0.0f;  // 1 / width of a full row's crossing
        float x = x0;
        const int yStart = int(y0), yEnd = std::min(bh, int(std::ceil(y1)));
        for (int y = yStart; y < yEnd; ++y) {
            float* row = acc + std::size_t(y) * stride;
            const float dy = std::min(float(y + 1), y1) - std::max(float(y), y0);
            const float xnext = x + dxdy * dy;
            const float d = dy * dir;
            const float xa = std::min(x, xnext), xb = std::max(x, xnext);
            // Coordinates are clamped non-negative, so truncation is floor; this inner loop
            // runs for every edge on every row and a libm call here would dominate.
            const int xai = int(xa);
            const float xaFloor = float(xai);
            const int xbt = int(xb);
            const int xbi = float(xbt) < xb ? xbt + 1 : xbt;
            const float xbCeil = float(xbi);
            if (xbi <= xai + 1) {
                const float xmf = 0.5f * (x + xnext) - xaFloor;
                row[xai] += d - d * xmf;
                row[xai + 1] += d * xmf;
                rowMin[y] = std::min(rowMin[y], xai);
                rowMax[y] = std::max(rowMax[y], xai + 1);
            } else {
                const float inv = dy == 1.0f ? rowSpanInverse : 1.0f / (xb - xa);
                const float xaf = xa - xaFloor;
                const float a0 = 0.5f * inv * (1.0f - xaf) * (1.0f - xaf);
                const float xbf = xb - xbCeil + 1.0f;
                const float am = 0.5f * inv * xbf * xbf;
                row[xai] += d * a0;
                if (xbi == xai + 2) {
                    row[xai + 1] += d * (1.0f - a0 - am);
                } else {
                    const float a1 = inv * (1.5f - xaf);
                    row[xai + 1] += d * (a1 - a0);
                    for (int xi = xai + 2; xi < xbi - 1; ++xi) row[xi] += d * inv;
                    const float a2 = a1 + float(xbi - xai - 3) * inv;
                    row[xbi - 1] += d * (1.0f - a2 - am);
                }
                row[xbi] += d * am;
                rowMin[y] = std::min(rowMin[y], xai);
                rowMax[y] = std::max(rowMax[y], xbi);
            }
            x = xnext;
        }
    };

    const std::vector<int>& ends = path.ends();
    int begin = 0;
    for (int end : ends) {
        for (int i = begin; i < end; ++i) {
            const int j = (i + 1 < end) ? i + 1 : begin;
            line(xs[std::size_t(i)], ys[std::size_t(i)], xs[std::size_t(j)], ys[std::size_t(j)]);
        }
        begin = end;
    }

    const std::uint32_t solid = packOpaque(colour);
    const float weightScale = 256.0f * std::min(1.0f, std::max(0.0f, colour.a));
    const bool opaque = colour.a >= 1.0f;
    for (int y = 0; y < bh; ++y) {
        if (rowMax[y] < 0) continue;
        float* row = acc + std::size_t(y) * stride;
        std::uint32_t* out = px_ + std::size_t(by0 + y) * w_ + bx0;
        float sum = 0.0f;
        const int last = std::min(rowMax[y], bw - 1);
        for (int x = rowMin[y]; x <= rowMax[y]; ++x) {
            sum += row[x];
            row[x] = 0.0f;
            if (x > last) continue;
            const float cover = std::fabs(sum);
            if (cover < 1.0f / 512.0f) continue;  // outside: the common case, kept cheap
            if (cover >= 1.0f && opaque) {
                out[x] = solid;
                continue;
            }
            const std::uint32_t weight = std::uint32_t(std::min(1.0f, cover) * weightScale + 0.5f);
            if (weight != 0) out[x] = blend(out[x], solid, std::min(weight, 256u));
        }
    }
}

void Layer::take(const std::uint32_t* picture, int pictureWidth, int pictureHeight) {
    auto drawnSpan = [&](int row, int* begin, int* end) {
        const std::uint32_t* p = picture + std::size_t(row) * pictureWidth;
        *begin = 0;
        *end = pictureWidth;
        while (*begin < *end && p[*begin] == 0) ++*begin;
        while (*end > *begin && p[*end - 1] == 0) --*end;
        return *begin < *end;
    };
    int top = 0, bottom = pictureHeight, begin = 0, end = 0;
    while (top < bottom && !drawnSpan(top, &begin, &end)) ++top;
    while (bottom > top && !drawnSpan(bottom - 1, &begin, &end)) --bottom;
    x = pictureWidth;
    y = top;
    height = bottom - top;
    pixels.clear();
    spanBegin.assign(std::size_t(height), 0);
    spanStart.assign(std::size_t(height) + 1, 0);
    int right = 0;
    for (int row = 0; row < height; ++row) {
        if (drawnSpan(top + row, &begin, &end)) {
            const std::uint32_t* p = picture + std::size_t(top + row) * pictureWidth;
            pixels.insert(pixels.end(), p + begin, p + end);
            x = std::min(x, begin);
            right = std::max(right, end);
        }
        spanBegin[std::size_t(row)] = begin;
        spanStart[std::size_t(row) + 1] = int(pixels.size());
    }
    if (height == 0) x = 0;
    width = std::max(0, right - x);
    pixels.shrink_to_fit();
}

void Canvas::drawLayer(const Layer& layer) {
    for (int ly = 0; ly < layer.height; ++ly) {
        const int y = layer.y + ly;
        if (y < 0 || y >= h_) continue;
        const int first = layer.spanBegin[std::size_t(ly)];
        const int start = layer.spanStart[std::size_t(ly)], stop = layer.spanStart[std::size_t(ly) + 1];
        const std::uint32_t* src = layer.pixels.data() + start - first;  // indexed by column
        std::uint32_t* dst = px_ + std::size_t(y) * w_;
        const int begin = std::max(first, 0);
        const int end = std::min(first + (stop - start), w_);
        for (int x = begin; x < end; ++x) {
            const std::uint32_t s = src[x];
            const std::uint32_t a = s >> 24;
            if (a == 0) continue;
            std::uint32_t& d = dst[x];
            if (a == 255 || d == 0) {
                d = s;
                continue;
            }
            // d * (255 - a) / 255 per channel, two channels at a time, rounded; colour
            // stays within alpha because both sides are scaled alike.
            const std::uint32_t k = 255u - a;
            std::uint32_t rb = (d & 0x00ff00ffu) * k + 0x00800080u;
            rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
            std::uint32_t ag = ((d >> 8) & 0x00ff00ffu) * k + 0x00800080u;
            ag = (ag + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
            d = s + (rb | ag);
        }
    }
}

void Canvas::shadow(const SoftEllipse& e, double blur, float alpha) {
    if (!(e.rx > 0.0 && e.ry > 0.0 && blur > 0.0)) return;
    // Rows and, per row, the columns where the ellipse grown by the blur (and a pixel, for
    // the estimate below) reaches: the roots of a quadratic in x. Everything outside stays
    // untouched. Pixel i is taken when its centre i + 0.5 lies between the roots, so a
    // shadow centred on a pixel corner covers a mirror-symmetric set of pixels.
    const double RX = e.rx + blur + 1.0, RY = e.ry + blur + 1.0;
    const double A = e.cosA * e.cosA / (RX * RX) + e.sinA * e.sinA / (RY * RY);
    const double Bk = 2.0 * e.cosA * e.sinA * (1.0 / (RX * RX) - 1.0 / (RY * RY));
    const double Ck = e.sinA * e.sinA / (RX * RX) + e.cosA * e.cosA / (RY * RY);
    const double reachY = std::sqrt(A / (A * Ck - 0.25 * Bk * Bk));
    const int y0 = std::max(0, int(std::ceil(e.cy - reachY - 0.5)));
    const int y1 = std::min(h_, int(std::floor(e.cy + reachY - 0.5)) + 1);

    const float ux = float(e.cosA / e.rx), uy = float(e.sinA / e.rx);
    const float vx = float(-e.sinA / e.ry), vy = float(e.cosA / e.ry);
    const float irx = float(1.0 / e.rx), iry = float(1.0 / e.ry);
    const float fBlur = float(blur), fAlpha = alpha * 256.0f;
    // Deeper inside than the blur whatever the direction: full strength, no estimate needed
    // (the estimate below never puts these points nearer the outline than the blur).
    const double depth = 1.0 - blur / std::min(e.rx, e.ry);
    const float solidLevel = depth > 0.0 ? float(depth * depth) : -1.0f;
    const std::uint32_t solidWeight = std::min(std::uint32_t(fAlpha + 0.5f), 256u);
    const std::uint32_t black = 0xff000000u;
    for (int y = y0; y < y1; ++y) {
        const double dy = y + 0.5 - e.cy;
        const double B = Bk * dy, C = Ck * dy * dy - 1.0;
        const double disc = B * B - 4.0 * A * C;
        if (disc <= 0.0) continue;
        const double root = std::sqrt(disc);
        const double xa = e.cx + (-B - root) / (2.0 * A), xb = e.cx + (-B + root) / (2.0 * A);
        const int x0 = std::max(0, int(std::ceil(xa - 0.5))), x1 = std::min(w_, int(std::floor(xb - 0.5)) + 1);
        std::uint32_t* row = px_ + std::size_t(y) * w_;
        const float fdy = float(dy);
        for (int x = x0; x < x1; ++x) {
            // Distance outside the ellipse in pixels, to first order (the ellipse's level
            // value over the length of its gradient), fades the shadow over `blur` pixels
            // either side of its outline, alike along both axes.
            const float dx = float(x) + 0.5f - float(e.cx);
            const float u = dx * ux + fdy * uy, v = dx * vx + fdy * vy;
            if (u * u + v * v <= solidLevel) {
                if (solidWeight != 0) row[x] = blend(row[x], black, solidWeight);
                continue;
            }
            const float level = u * u + v * v - 1.0f;
            const float halfGradient = std::sqrt(u * u * irx * irx + v * v * iry * iry);
            const float outside = halfGradient > 0.0f ? 0.5f * level / halfGradient : -fBlur;
            if (outside >= fBlur) continue;
            float t = (outside + fBlur) / (2.0f * fBlur);  // 0 well inside .. 1 at the fringe
            t = t < 0.0f ? 0.0f : t;
            const std::uint32_t weight = std::uint32_t(fAlpha * (1.0f - t * t * (3.0f - 2.0f * t)) + 0.5f);
            if (weight != 0) row[x] = blend(row[x], black, std::min(weight, 256u));
        }
    }
}

}  // namespace gnatter
