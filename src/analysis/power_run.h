#pragma once
// Planning a study, without a window: the power of the deficit or the dissociation test
// for a case of the population that a table of statistics describes, against n controls
// drawn from it, and for the deficit test the number of controls that reaches a target.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"
#include "engine/deficit_power.h"
#include "engine/dissociation_power.h"

namespace quorvane {

// What a front end asks. The table is the companion program's, read as the population's:
// its means, SDs and correlations, and in caseScores the case's expected task score(s)
// (the score it would have on average, with the deficit assumed) and its covariate scores.
// Every text is as typed, so that the checks can quote it.
struct PowerRequest {
    AnalysisTest test = AnalysisTest::Deficit;
    std::string nText;  // one n, or a list for a curve: "10,20,40" or "10 20 40"
    std::string kText;
    SummaryEntries entries;
    std::string alphaText = "0.05";
    Alternative alternative = Alternative::Less;  // the deficit test's side
    std::string targetPowerText = "0.8";          // the deficit test's sample-size search
    std::string simulationsText = "10000";        // the dissociation's simulated studies
    std::string drawsText = "10000";              // and its draws of Z-DCCC per study
    std::vector<std::string> notes;
    bool followsEarlierReport = false;  // the report starts with the separator line
    char decimalSeparator = '.';
};

// The power of the dissociation tests at one n.
struct DissociationPowerAtN {
    int n = 0;
    DissociationPowerResult result;
};

// What a machine-readable report and the figure take of a finished plan.
struct PowerFacts {
    AnalysisTest test = AnalysisTest::Deficit;
    int k = 0;
    std::vector<int> ns;  // as asked, in the order given; the first is "the" n
    double alpha = 0.05;
    Alternative alternative = Alternative::Less;
    double targetPower = 0.8;
    // The deficit: the exact power at each n asked, and the plan (its curve, asymptote and
    // sample size, none when the curve does not reach the target).
    std::vector<PowerAtN> powers;
    DeficitStudyPlan plan;
    // The dissociation: the simulated power at each n asked, with its settings.
    std::vector<DissociationPowerAtN> simulated;
    int simulations = 0;
    int draws = 0;
};

// How a plan ended: with its report, stopped by a check that showed its message (with the
// entry at fault to receive the focus), or cancelled during the simulation.
struct PowerOutcome {
    bool completed = false;
    bool cancelled = false;
    InputFocus focus;
    std::vector<std::string> reportLines;  // to append to the results text, when completed
    PowerFacts facts;
};

struct PowerOptions {
    // Runs the computation, which shows nothing and asks the platform nothing; a window
    // runs it off its GUI thread. Empty: run it here.
    std::function<void(const std::function<void()>& longStep)> runLongStep{};
    // The simulation's progress (studies done of all the n asked) and cancel flag.
    std::function<void(long long done, long long total)> progress{};
    const std::atomic<bool>* cancel = nullptr;
};

// The checks of every entry, each showing its own message that names the field, the
// computation and the report. Errors the checks cannot foresee reach the caller.
PowerOutcome RunPower(const PowerRequest& request, Platform& platform, const PowerOptions& options = {});

// The plan as one JSON object, pretty-printed, ending in a line break.
std::string WritePowerJson(const PowerFacts& facts);

}  // namespace quorvane
