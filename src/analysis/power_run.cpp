#include "analysis/power_run.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "analysis/analysis_run.h"
#include "analysis/input_checks.h"
#include "analysis/power_report.h"
#include "analysis/program_texts.h"
#include "analysis/summary_run.h"
#include "analysis/text_helpers.h"
#include "engine/difference_test.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// The n of the text: one or more, separated by commas and/or blanks, each checked as the
// analysis checks its n, against the bounds of a plan; nothing after the first warning.
std::optional<std::vector<int>> CheckSampleSizes(const PowerRequest& request, Platform& platform) {
    std::string list = request.nText;
    std::replace(list.begin(), list.end(), ',', ' ');
    std::vector<std::string> texts = Words(list);
    if (texts.empty()) texts.push_back("");  // for the empty field's warning
    std::vector<int> ns;
    for (const std::string& text : texts) {
        const std::optional<double> n = ReadNumericField(text, kSampleSizeCaption, platform);
        if (!n || !CheckSampleSize(kSampleSizeCaption, *n, text, platform, request.test) ||
            !CheckSampleSizeLimit(kSampleSizeCaption, *n, text, platform, kMaxPowerControls))
            return std::nullopt;
        ns.push_back(static_cast<int>(*n));
    }
    return ns;
}

std::optional<int> CheckCovariates(const PowerRequest& request, Platform& platform) {
    const std::optional<double> k = ReadNumericField(request.kText, kCovariateCountCaption, platform);
    if (!k || !CheckCovariateCount(kCovariateCountCaption, *k, request.kText, platform)) return std::nullopt;
    return static_cast<int>(*k);
}

// A setting read as a number and within its range, or nothing after the warning: for one
// out of range "INPUT ERROR\n(  <caption>  <text>  )\n<rule>".
std::optional<long double> CheckSetting(const std::string& text, InputField field, Platform& platform,
                                        const std::function<bool(long double)>& inRange, const std::string& rule) {
    const std::optional<long double> value = ReadEntry(text, field, 0, AnalysisTest::Deficit, platform);
    if (value && !inRange(*value)) {
        ShowWarning(platform, "INPUT ERROR\n(  " + EntryCaption(field, 0) + "  " + Trimmed(text) + "  )\n" + rule);
        return std::nullopt;
    }
    return value;
}

// A whole number of the simulation within [lowest, highest].
std::optional<int> CheckCount(const std::string& text, InputField field, int lowest, int highest,
                              const std::string& what, Platform& platform) {
    const std::optional<long double> value = CheckSetting(
        text, field, platform, [=](long double v) { return v >= lowest && v <= highest && v == std::trunc(v); },
        "The number of " + what + " must be a whole number from " + std::to_string(lowest) + " to " +
            std::to_string(highest) + ".");
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

// The tasks' correlation given the case's covariate scores, which the population's
// correlations alone fix.
long double TasksConditionalCorrelation(const tCaseStatistics& population) {
    const int k = population.k, p = k + 2;
    tVector ones, zeros;
    for (int i = 1; i <= p; ++i) ones(i) = 1;
    tMatrix condCov;
    tVector condMean;
    ConditionalMoments(p, k, population.corr, ones, zeros, zeros, condCov, condMean);
    const long double r = condCov(1, 2) / std::sqrt(condCov(1, 1) * condCov(2, 2));
    ClearFloatingPointFaults();
    return r;
}

std::string NearlyRepeatedTasksMessage(long double r, int k) {
    const std::string limit = FormatFixed(kMaxConditionalCorrelation, 0, 3);
    return "Power cannot be computed as the two tasks are almost perfectly correlated in the control population" +
           std::string(k == 0 ? " (correlation " : " once the covariates are allowed for (conditional correlation ") +
           RefusedCorrelation(r) + ", where the test takes at most " + limit +
           " in size): check the correlation of Task 2 with Task 1" +
           (k == 0 ? std::string(".") : std::string(" and the tasks' correlations with the covariates."));
}

// The checked request: everything the computation takes.
struct CheckedPlan {
    PowerFacts facts;
    tCaseStatistics population;
};

// Every check in the order of the window, each showing its message and setting focus.
std::optional<CheckedPlan> CheckPlan(const PowerRequest& request, Platform& platform, InputFocus& focus) {
    const AnalysisTest test = request.test;
    const bool dissociation = test == AnalysisTest::Dissociation;
    CheckedPlan plan;
    PowerFacts& facts = plan.facts;
    facts.test = test;
    focus = {InputField::N};
    const std::optional<std::vector<int>> ns = CheckSampleSizes(request, platform);
    if (!ns) return std::nullopt;
    focus = {InputField::K};
    const std::optional<int> k = CheckCovariates(request, platform);
    if (!k) return std::nullopt;
    focus = {InputField::N};
    for (const int n : *ns)
        if (!CheckCovariatesForSampleSize(n, *k, platform, test)) return std::nullopt;
    facts.ns = *ns;
    facts.k = *k;

    AnalysisInputs inputs;
    inputs.n = ns->front();
    inputs.k = *k;
    inputs.p = *k + TaskCount(test);
    inputs.test = test;
    const std::optional<AnalysisResults> table = CheckSummaryEntries(inputs, request.entries, platform, focus);
    if (!table) return std::nullopt;
    plan.population = *table;
    plan.population.n = inputs.n;
    plan.population.k = inputs.k;
    focus = {InputField::Correlation, 0};
    if (!IsPositiveDefinite(inputs.p, plan.population.corr)) {
        platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), kNotPositiveDefinite);
        return std::nullopt;
    }
    if (dissociation) {
        const long double r = TasksConditionalCorrelation(plan.population);
        if (std::fabs(r) > kMaxConditionalCorrelation) {
            platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error),
                                 NearlyRepeatedTasksMessage(r, *k));
            return std::nullopt;
        }
    }

    focus = {InputField::Alpha};
    const std::optional<long double> alpha = CheckSetting(
        request.alphaText, InputField::Alpha, platform, [](long double a) { return a > 0 && a <= 0.5L; },
        "The significance level must be greater than 0 and not greater than 0.5.");
    if (!alpha) return std::nullopt;
    facts.alpha = static_cast<double>(*alpha);
    if (dissociation) {
        facts.alternative = Alternative::TwoSided;
        focus = {InputField::Simulations};
        const std::optional<int> simulations =
            CheckCount(request.simulationsText, InputField::Simulations, kMinPowerSimulations, kMaxPowerSimulations,
                       "simulated studies", platform);
        if (!simulations) return std::nullopt;
        focus = {InputField::Draws};
        const std::optional<int> draws = CheckCount(request.drawsText, InputField::Draws, kMinPowerDraws,
                                                    kMaxPowerDraws, "draws per study", platform);
        if (!draws) return std::nullopt;
        facts.simulations = *simulations;
        facts.draws = *draws;
    } else {
        facts.alternative = request.alternative;
        focus = {InputField::TargetPower};
        // Compared with alpha as the engine takes it, a double.
        const double a = facts.alpha;
        const std::optional<long double> target = CheckSetting(
            request.targetPowerText, InputField::TargetPower, platform, [a](long double t) { return t > a && t < 1; },
            "The target power must be greater than the significance level (" + Trimmed(request.alphaText) +
                ") and less than 1.");
        if (!target) return std::nullopt;
        facts.targetPower = static_cast<double>(*target);
    }
    focus = {};
    return plan;
}

// The exact power at each n asked, and the plan for the target.
void PlanDeficit(const tCaseStatistics& population, PowerFacts& facts) {
    DeficitPowerQuestion question =
        DeficitPowerQuestionFor(population, population.caseScores(1), facts.alpha, facts.alternative);
    for (const int n : facts.ns) {
        question.n = n;
        facts.powers.push_back({n, DeficitPower(question)});
    }
    facts.plan = PlanDeficitStudy(question, facts.targetPower);
}

// The simulated power at each n asked; false when cancelled.
bool SimulateDissociation(const tCaseStatistics& population, const PowerOptions& options, PowerFacts& facts) {
    DissociationPowerQuestion question;
    question.population = population;
    question.expectedScores = {population.caseScores(1), population.caseScores(2)};
    question.alpha = facts.alpha;
    question.simulations = facts.simulations;
    question.draws = facts.draws;
    const long long total = static_cast<long long>(facts.simulations) * static_cast<long long>(facts.ns.size());
    long long before = 0;  // the studies of the n already simulated
    PowerRunControl control;
    control.cancel = options.cancel;
    if (options.progress) control.progress = [&](int done) { options.progress(before + done, total); };
    for (const int n : facts.ns) {
        question.population.n = n;
        const std::optional<DissociationPowerResult> result = DissociationPower(question, control);
        if (!result) return false;
        facts.simulated.push_back({n, *result});
        before += facts.simulations;
    }
    return true;
}

}  // namespace

PowerOutcome RunPower(const PowerRequest& request, Platform& platform, const PowerOptions& options) {
    PowerOutcome outcome;
    std::optional<CheckedPlan> plan = CheckPlan(request, platform, outcome.focus);
    if (!plan) return outcome;
    bool finished = true;
    {
        BusyCursor busy(platform);
        const auto longStep = [&] {
            if (request.test == AnalysisTest::Dissociation)
                finished = SimulateDissociation(plan->population, options, plan->facts);
            else
                PlanDeficit(plan->population, plan->facts);
        };
        if (options.runLongStep)
            options.runLongStep(longStep);
        else
            longStep();
    }
    if (!finished) {
        outcome.cancelled = true;
        return outcome;
    }
    outcome.completed = true;
    outcome.facts = plan->facts;
    outcome.reportLines = WritePowerReport(request, outcome.facts);
    return outcome;
}

}  // namespace quorvane
