// SPDX-License-Identifier: GPL-3.0-or-later
// Rounds of "log, suggest, apply" against kyr-sim's engine model in simulated
// time: the same engine, sensor and analysis as bench/autotune_rounds.py
// drives over the line, without the line, so a round takes milliseconds and
// the analysis' settings can be compared quickly.
//
//   build/bench/autotune_model [--seconds S] [--rounds N] [--rate HZ] [--seed N]

#include "Engine.h"
#include "EngineNeed.h"
#include "Memory.h"
#include "live/FuelAnalysis.h"
#include "live/LiveRecord.h"
#include "table/Codec.h"
#include "table/Layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kyr;

namespace {

struct Options {
    double seconds = 120, rate = 40;
    int rounds = 6;
    uint64_t seed = 1;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const double v = std::atof(argv[i + 1]);
        if (!std::strcmp(argv[i], "--seconds"))
            o.seconds = v;
        else if (!std::strcmp(argv[i], "--rounds"))
            o.rounds = static_cast<int>(v);
        else if (!std::strcmp(argv[i], "--rate"))
            o.rate = v;
        else if (!std::strcmp(argv[i], "--seed"))
            o.seed = static_cast<uint64_t>(v);
    }
    return o;
}

table::ImageBytes plusOne(const table::ImageBytes& raw)
{
    table::ImageBytes p = raw;
    for (auto& b : p)
        b = static_cast<uint8_t>(b + 1);
    return p;
}

int setupRaw(const table::ImageBytes& raw, table::SetupParam p) { return raw[table::setupOffset(p)]; }

// The samples kyr log would write from t0 for the given seconds.
std::vector<live::FuelSample> logRound(const sim::Engine& engine, const table::ImageBytes& raw, double t0,
                                       const Options& o)
{
    std::vector<live::FuelSample> out;
    for (double t = t0; t < t0 + o.seconds; t += 1.0 / o.rate) {
        const live::LiveValues v = engine.sample(t, raw);
        const double counts = v.get(live::LiveField::Throttle).value_or(NAN);
        const double throttle = (counts - sim::ThrottleClosedCounts) * 100.0
                                / (sim::ThrottleOpenCounts - sim::ThrottleClosedCounts);
        out.push_back({t - t0, v.get(live::LiveField::Rpm).value_or(NAN), v.get(live::LiveField::Vacuum).value_or(NAN),
                       v.get(live::LiveField::Lambda).value_or(NAN), v.get(live::LiveField::WaterTemp).value_or(NAN), throttle,
                       v.get(live::LiveField::InjectorDuty).value_or(NAN)});
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    auto loaded = sim::loadTune(KYR_SOURCE_DIR "/examples/demo.kyr");
    if (!loaded) {
        std::fprintf(stderr, "%s\n", loaded.error().message.c_str());
        return 1;
    }
    table::ImageBytes raw = loaded.value();
    const sim::EngineNeed need = sim::EngineNeed::defaults();
    const sim::Engine engine(std::nullopt, need, o.seed);
    const auto& def = table::mapDef(table::MapId::FuelCruise);
    std::printf("| Round | Covered points | Mean error | Max error | Largest move away from the need |\n");
    std::printf("| ---: | ---: | ---: | ---: | ---: |\n");
    double t0 = 0;
    for (int n = 1; n <= o.rounds; ++n) {
        const table::ImageBytes image = plusOne(raw);
        live::FuelSettings settings;
        settings.targetVolts = setupRaw(raw, table::SetupParam::LambdaTarget) / 100.0;
        live::FuelAnalysis analysis(live::FuelCurve::Cruise, table::deriveAxes(image), settings);
        analysis.setPressureBand(setupRaw(raw, table::SetupParam::LowThrottleVac),
                                 setupRaw(raw, table::SetupParam::HighThrottleVac));
        analysis.addSamples(logRound(engine, raw, t0, o));
        t0 += o.seconds;
        const std::vector<double> before = table::decodeMaps(image)[table::MapId::FuelCruise];
        const std::vector<double> after = analysis.applied(before);
        const live::FuelReport r = analysis.report();
        double sum = 0, worst = 0, away = 0;
        int covered = 0, moved = 0;
        for (const auto& p : r.points) {
            if (p.weight < settings.minWeight)
                continue;
            const auto i = static_cast<std::size_t>(p.index - 1);
            const double needed = 1 + need.byRpm.at(p.x * 100) / 100;
            const double was = (1 + before[i] / 100) / needed - 1, now = (1 + after[i] / 100) / needed - 1;
            ++covered;
            sum += std::abs(now);
            worst = std::max(worst, std::abs(now));
            away = std::max(away, std::abs(now) - std::abs(was));
            moved += after[i] != before[i];
            if (std::getenv("KYR_MODEL_VERBOSE"))
                std::printf("  %2d x %5.1f w %6.1f v %.3f %+5.1f%% -> %+5.1f%%\n", p.index, p.x, p.weight,
                            p.meanVolts, was * 100, now * 100);
        }
        std::printf("| %d | %d | %.1f %% | %.1f %% | %.1f %% |\n", n, covered, 100 * sum / std::max(covered, 1),
                    100 * worst, 100 * away);
        for (int i = 1; i <= def.points; ++i)
            raw[static_cast<std::size_t>(table::pointOffset(def, i))] =
                static_cast<uint8_t>(table::mapRawByte(def, after[static_cast<std::size_t>(i - 1)]));
        if (moved == 0)
            break;
    }
    return 0;
}
