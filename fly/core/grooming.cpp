// Grooming, as house flies do it: the legs rub and sweep several times a second, never
// quite in time. A bout mostly starts at the front (front legs drawn over the head, then
// rubbed together) and in longer bouts goes on to the back (hind legs sweeping the wings
// and the abdomen, then rubbed together); front to back, never back again. Some bouts are
// no more than a rub of the front legs; some start with the legs, or at the back. Flies
// groom most right after landing.
#include "fly_state.h"

namespace gnatter {
namespace {

// Strokes a second, for each action: the front legs rub fastest, the wings are swept
// slowest.
double strokeRate(Groom action) {
    switch (action) {
        case Groom::Head: return 3.1;
        case Groom::FrontLegs: return 4.0;
        case Groom::Wings: return 2.9;
        case Groom::Abdomen: return 3.3;
        case Groom::HindLegs: return 3.7;
    }
    return 3.4;
}

std::int64_t strokeSteps(Fly& f, Groom action) {
    double seconds = fm::exp(tuning::kStrokeSpread * fm::normal(f.rng)) / strokeRate(action);
    // Now and then the legs hold still a moment before going on.
    if (f.rng.chance(tuning::kStrokePauseShare)) seconds *= f.rng.range(1.8, 3.0);
    return stepsFor(std::min(std::max(seconds, tuning::kStrokeShortest), tuning::kStrokeLongest));
}

void add(GroomState& g, Groom action) {
    if (g.count < GroomState::kMaxActions) g.actions[g.count++] = action;
}

// The posterior part of a bout: wings and/or abdomen, then the hind legs rubbed.
void addPosterior(Fly& f, GroomState& g, double total) {
    if (f.rng.chance(0.8)) add(g, Groom::Wings);
    if (f.rng.chance(0.55)) add(g, Groom::Abdomen);
    add(g, Groom::HindLegs);
    if (total > 10.0 && g.count <= GroomState::kMaxActions - 2 && f.rng.chance(0.5)) {
        add(g, Groom::Wings);
        add(g, Groom::HindLegs);
    }
}

// Which actions a bout of `total` seconds holds, in order.
void planBout(Fly& f, GroomState& g, double total) {
    g.count = 0;
    const double r = f.rng.unit();
    if (r < tuning::kFrontRubOnlyShare) {
        add(g, Groom::FrontLegs);
        return;
    }
    if (r < tuning::kFrontRubOnlyShare + tuning::kLegsFirstShare) {
        add(g, Groom::FrontLegs);
        add(g, Groom::Head);
        add(g, Groom::FrontLegs);
    } else if (r < tuning::kFrontRubOnlyShare + tuning::kLegsFirstShare + tuning::kBackOnlyShare) {
        addPosterior(f, g, total);
        return;
    } else {
        add(g, Groom::Head);
        add(g, Groom::FrontLegs);
        if (total > 8.0 && f.rng.chance(0.6)) {
            add(g, Groom::Head);
            add(g, Groom::FrontLegs);
        }
    }
    if (total > 3.5 && f.rng.chance(tuning::kPosteriorShare)) addPosterior(f, g, total);
}

}  // namespace

void startGrooming(Habitat& h, Fly& f, double seconds) {
    GroomState& g = f.groom;
    f.mode = Mode::Grooming;
    double total = seconds > 0.0 ? seconds : f.rng.range(tuning::kGroomBoutMin, tuning::kGroomBoutMax);
    planBout(f, g, total);
    // A lone front-leg rub is short.
    if (g.count == 1 && g.actions[0] == Groom::FrontLegs) total = std::min(total, f.rng.range(2.0, 4.0));
    // Share the bout among its actions, unevenly, each at least a few strokes long.
    double weights[GroomState::kMaxActions], sum = 0.0;
    for (int i = 0; i < g.count; ++i) sum += (weights[i] = f.rng.range(0.6, 1.4));
    g.start = h.now;
    std::int64_t at = h.now;
    for (int i = 0; i < g.count; ++i) {
        at += std::max(stepsFor(0.7), stepsFor(total * weights[i] / sum));
        g.actionEnd[i] = at;
    }
    g.index = 0;
    g.frame = 0;
    g.nextStroke = h.now + strokeSteps(f, g.actions[0]);
    f.until = at;
}

void stepGrooming(Habitat& h, Fly& f) {
    GroomState& g = f.groom;
    bool nextAction = false;
    while (g.index < g.count && h.now >= g.actionEnd[g.index]) {
        ++g.index;
        nextAction = true;
    }
    if (g.index >= g.count) {
        rest(h, f, restSeconds(h, f));
        return;
    }
    if (nextAction) {
        g.frame = 0;
        g.nextStroke = h.now + strokeSteps(f, g.actions[g.index]);
    } else if (h.now >= g.nextStroke) {
        g.frame ^= 1;
        g.nextStroke = h.now + strokeSteps(f, g.actions[g.index]);
    }
}

Groom groomingAction(const Fly& f) {
    const GroomState& g = f.groom;
    return g.actions[std::min(g.index, g.count - 1)];
}

int groomingFrame(const Fly& f) { return f.groom.frame; }

std::int64_t groomingStillSteps(const Fly& f, std::int64_t now) {
    const GroomState& g = f.groom;
    if (g.index >= g.count || now <= g.start) return 0;
    return std::max<std::int64_t>(0, std::min(g.actionEnd[g.index], g.nextStroke) - now);
}

}  // namespace gnatter
