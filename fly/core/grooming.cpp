// Grooming, as house flies do it: a bout starts at the front (front legs drawn over the
// head, then rubbed together) and, in longer bouts, goes on to the back (hind legs
// sweeping the wings and the abdomen, then rubbed together); front-to-back, never back
// again. Flies groom most right after landing.
#include "fly_state.h"

namespace gnatter {
namespace {

std::int64_t strokeSteps() { return stepsFor(tuning::kGroomStrokeSeconds); }

std::int64_t actionStart(const Fly& f) {
    const GroomState& g = f.groom;
    return g.index == 0 ? g.start : g.actionEnd[g.index - 1];
}

}  // namespace

void startGrooming(Habitat& h, Fly& f) {
    GroomState& g = f.groom;
    f.mode = Mode::Grooming;
    const double total = f.rng.range(tuning::kGroomBoutMin, tuning::kGroomBoutMax);
    g.count = 0;
    auto add = [&g](Groom a) { g.actions[g.count++] = a; };
    add(Groom::Head);
    add(Groom::FrontLegs);
    if (total > 8.0 && f.rng.chance(0.6)) {
        add(Groom::Head);
        add(Groom::FrontLegs);
    }
    if (total > 3.0 && f.rng.chance(tuning::kPosteriorShare)) {
        add(Groom::Wings);
        if (f.rng.chance(0.6)) add(Groom::Abdomen);
        add(Groom::HindLegs);
        if (total > 11.0 && g.count <= 6 && f.rng.chance(0.5)) {
            add(Groom::Wings);
            add(Groom::HindLegs);
        }
    }
    // Share the bout among its actions, each a whole number of strokes (two at least).
    double weights[8], sum = 0.0;
    for (int i = 0; i < g.count; ++i) sum += (weights[i] = f.rng.range(0.7, 1.3));
    const std::int64_t stroke = strokeSteps();
    g.start = h.now;
    std::int64_t at = h.now;
    for (int i = 0; i < g.count; ++i) {
        const std::int64_t strokes = std::max<std::int64_t>(2, std::llround(total * weights[i] / sum / kDt / double(stroke)));
        at += strokes * stroke;
        g.actionEnd[i] = at;
    }
    g.index = 0;
    f.until = at;
}

void stepGrooming(Habitat& h, Fly& f) {
    GroomState& g = f.groom;
    while (g.index < g.count && h.now >= g.actionEnd[g.index]) ++g.index;
    if (g.index >= g.count) rest(h, f, restSeconds(f));
}

Groom groomingAction(const Fly& f, std::int64_t) {
    const GroomState& g = f.groom;
    return g.actions[std::min(g.index, g.count - 1)];
}

int groomingFrame(const Fly& f, std::int64_t now) {
    return int(((now - actionStart(f)) / strokeSteps()) & 1);
}

std::int64_t groomingStillSteps(const Fly& f, std::int64_t now) {
    const GroomState& g = f.groom;
    if (g.index >= g.count || now <= g.start) return 0;
    const std::int64_t stroke = strokeSteps();
    const std::int64_t since = (now - actionStart(f)) % stroke;
    if (since == 0) return 0;
    return std::min(g.actionEnd[g.index] - now, stroke - since);
}

}  // namespace gnatter
