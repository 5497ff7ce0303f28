// Cost of the fly core per 60 Hz frame: the simulation (advance) and the drawing of the
// flies whose picture changed, for 50 and 200 flies of 54 px on one 1920x1080 monitor,
// and what a resting swarm costs. The target is under 100 us of core work per frame for
// 50 flies.
#include "sprite.h"
#include "swarm.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

using namespace gnatter;

namespace {

constexpr double kFrame = 1.0 / 60.0;

std::vector<Monitor> oneMonitor() {
    Monitor m;
    m.bounds = {0, 0, 1920, 1080};
    m.workArea = {0, 0, 1920, 1040};
    return {m};
}

std::unique_ptr<Swarm> settledSwarm(int count, int size, std::uint64_t seed, int variation = 0) {
    Options o;
    o.count = count;
    o.sizePixels = size;
    o.variationPercent = variation;
    o.timeoutSeconds = 0;  // never leave during the measurement
    auto swarm = std::make_unique<Swarm>(o, seed, oneMonitor());
    for (int i = 0; i < 60 * 20; ++i) swarm->advance(kFrame);  // past the arrival
    return swarm;
}

double microsecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count();
}

// One whole frame: advance, then redraw what changed. Counters split the two. The second
// argument is the size variation: with every fly a different size, fewer drawn bodies
// are shared between flies.
void BM_Frame(benchmark::State& state) {
    const int count = int(state.range(0));
    auto swarm = settledSwarm(count, 54, 1, int(state.range(1)));
    std::vector<Sprite> sprites(swarm->flyCount());
    double simulation = 0.0, drawing = 0.0, redraws = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        swarm->advance(kFrame);
        const auto t1 = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < swarm->flyCount(); ++i) {
            const FlyView& v = swarm->flyView(i);
            if (!v.pictureChanged || !v.visible) continue;
            renderFly(v, sprites[i]);
            redraws += 1.0;
        }
        simulation += std::chrono::duration<double, std::micro>(t1 - t0).count();
        drawing += microsecondsSince(t1);
        benchmark::DoNotOptimize(sprites.data());
    }
    const double n = double(state.iterations());
    state.counters["sim_us"] = simulation / n;
    state.counters["draw_us"] = drawing / n;
    state.counters["redraws"] = redraws / n;
}
BENCHMARK(BM_Frame)->Args({50, 0})->Args({200, 0})->Args({50, 50})->Unit(benchmark::kMicrosecond);

// The simulation alone.
void BM_Simulation(benchmark::State& state) {
    auto swarm = settledSwarm(int(state.range(0)), 54, 2);
    for (auto _ : state) benchmark::DoNotOptimize(swarm->advance(kFrame));
}
BENCHMARK(BM_Simulation)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

// One picture, walking, at the sizes people pick.
void BM_RenderOne(benchmark::State& state) {
    FlyView v;
    v.size = float(state.range(0));
    v.heading = 0.7f;
    v.visible = true;
    Sprite sprite;
    int frame = 0;
    for (auto _ : state) {
        v.pose.walkFrame = std::uint8_t(frame++ % kWalkFrames);
        renderFly(v, sprite);
        benchmark::DoNotOptimize(sprite.pixels.data());
    }
}
BENCHMARK(BM_RenderOne)->Arg(9)->Arg(36)->Arg(54)->Arg(128)->Arg(256)->Unit(benchmark::kMicrosecond);

// A flying fly with its shadow.
void BM_RenderFlying(benchmark::State& state) {
    FlyView v;
    v.size = float(state.range(0));
    v.heading = 0.7f;
    v.visible = true;
    v.pose.stance = gnatter::Stance::Flying;
    v.pose.altitude = v.size * 0.5f;
    Sprite sprite;
    for (auto _ : state) {
        renderFly(v, sprite);
        benchmark::DoNotOptimize(sprite.pixels.data());
    }
}
BENCHMARK(BM_RenderFlying)->Arg(54)->Unit(benchmark::kMicrosecond);

// Every pose in turn (walking, grooming, take-off, flight, flight at speed, touchdown,
// squashed), at 54 px: what one redraw costs once the body is cached.
void BM_RenderEveryPose(benchmark::State& state) {
    std::vector<Pose> poses;
    for (int f = 0; f < kWalkFrames; ++f) poses.push_back(Pose{});
    for (int f = 0; f < kWalkFrames; ++f) poses[std::size_t(f)].walkFrame = std::uint8_t(f);
    for (int g = 0; g < kGroomActions * kGroomFrames; ++g) {
        Pose p;
        p.stance = Stance::Grooming;
        p.groom = Groom(g / kGroomFrames);
        p.groomFrame = std::uint8_t(g % kGroomFrames);
        poses.push_back(p);
    }
    for (Stance s : {Stance::Jumping, Stance::Flying, Stance::Landing, Stance::Squashed}) {
        Pose p;
        p.stance = s;
        poses.push_back(p);
    }
    poses.back().fade = 3;
    poses[poses.size() - 3].motionBlur = true;
    FlyView v;
    v.size = 54.0f;
    v.heading = 0.7f;
    v.visible = true;
    Sprite sprite;
    std::size_t i = 0;
    for (auto _ : state) {
        v.pose = poses[i++ % poses.size()];
        renderFly(v, sprite);
        benchmark::DoNotOptimize(sprite.pixels.data());
    }
}
BENCHMARK(BM_RenderEveryPose)->Unit(benchmark::kMicrosecond);

// A redraw whose body is not in the cache: 54 px flies at every heading and four sizes
// a quarter pixel apart, more bodies than the cache holds.
void BM_RenderUncachedBody(benchmark::State& state) {
    FlyView v;
    v.visible = true;
    Sprite sprite;
    int i = 0;
    for (auto _ : state) {
        v.size = 54.0f + 0.25f * float(i / 128 % 4);
        v.heading = 6.2831853f * float(i % 128) / 128.0f;
        ++i;
        renderFly(v, sprite);
        benchmark::DoNotOptimize(sprite.pixels.data());
    }
}
BENCHMARK(BM_RenderUncachedBody)->Unit(benchmark::kMicrosecond);

// The caller's question each frame, "may I sleep?", for a busy swarm.
void BM_RestingCheck(benchmark::State& state) {
    auto swarm = settledSwarm(int(state.range(0)), 54, 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(swarm->allResting());
        benchmark::DoNotOptimize(swarm->restingSecondsLeft());
    }
}
BENCHMARK(BM_RestingCheck)->Arg(50)->Arg(200);

// A frame of a swarm in which every fly sits still (a few flies: fifty all sitting at
// once practically never happens). When the rest ends, a fresh resting swarm is found.
void BM_RestingFrame(benchmark::State& state) {
    const int count = int(state.range(0));
    std::uint64_t seed = 10;
    auto findResting = [&]() {
        for (;;) {
            auto swarm = settledSwarm(count, 54, seed++);
            for (int i = 0; i < 60 * 60; ++i) {
                if (swarm->allResting() && swarm->restingSecondsLeft() > 1.0) return swarm;
                swarm->advance(kFrame);
            }
        }
    };
    auto swarm = findResting();
    for (auto _ : state) {
        if (!swarm->allResting()) {
            state.PauseTiming();
            swarm = findResting();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(swarm->advance(kFrame));
    }
}
BENCHMARK(BM_RestingFrame)->Arg(3)->Unit(benchmark::kNanosecond);

}  // namespace
