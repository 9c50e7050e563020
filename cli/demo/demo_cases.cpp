#include "demo/demo_cases.h"

#include <cmath>
#include <cstdio>

#include "process_pipeline.h"

namespace orve::demo {

CaseResult RunCase(const DemoCase& c, int32_t sampleRate) {
    cli::ProcessSettings settings;
    cli::StageSettings& stage = settings.stages[0];
    stage.effectId = c.effectId;
    stage.preset = c.preset;
    for (const auto& [label, value] : c.knobs) stage.knobs.push_back({label, value});
    stage.gainDb = c.gainDb;
    settings.tailSeconds = c.tailSeconds;
    CaseResult result;
    result.input = c.makeInput(sampleRate);
    result.output = cli::ProcessSignal(result.input, settings);
    result.measurement = c.measure(result.input, result.output);
    for (const Expectation& e : c.expected) {
        double value = std::nan("");
        for (const auto& [name, figure] : result.measurement.figures)
            if (name == e.figure) value = figure;
        if (!(value >= e.low && value <= e.high)) {
            char line[200];
            std::snprintf(line, sizeof line, "%s %g outside %g .. %g", e.figure.c_str(), value, e.low, e.high);
            result.unmet.push_back(line);
        }
    }
    return result;
}

std::vector<DemoCase> AllCases() {
    std::vector<DemoCase> cases;
    for (auto group : {RestorationDemos, HumEssVocalDemos, EqualiserSpatialDemos, KernelDemos, TimePitchDemos})
        for (DemoCase& c : group()) cases.push_back(std::move(c));
    return cases;
}

}  // namespace orve::demo
