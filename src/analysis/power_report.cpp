#include "analysis/power_report.h"

#include <algorithm>

#include "analysis/program_texts.h"
#include "analysis/results_report.h"
#include "analysis/text_helpers.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

using Lines = std::vector<std::string>;

const std::string kPowerTitle =
    "QuorvaneSummary: Power and sample size of the Bayesian test for a deficit in the single case controlling "
    "for covariate(s) ";
const std::string kDissociationPowerTitle =
    "QuorvaneSummary: Power of the Bayesian dissociation test in the single case controlling for covariate(s) ";

constexpr int kPowerDecimals = 4;

// An entered text as the report shows it: trimmed, with the report's decimal separator.
std::string Entered(const std::string& text, char separator) {
    std::string shown = Trimmed(text);
    std::replace(shown.begin(), shown.end(), '.', separator);
    return shown;
}

std::string Probability(double p, char separator) { return FormatFixed(p, 0, kPowerDecimals, separator); }

std::string AlternativeText(Alternative alternative) {
    switch (alternative) {
        case Alternative::Less: return "less (the case's score below the controls')";
        case Alternative::Greater: return "greater (the case's score above the controls')";
        case Alternative::TwoSided: break;
    }
    return "two-sided (the case's score on either side of the controls')";
}

void WriteInputs(const PowerRequest& request, const PowerFacts& facts, Lines& lines) {
    const char separator = request.decimalSeparator;
    lines.push_back(" INPUTS:");
    std::string ns;
    for (const int n : facts.ns) ns += (ns.empty() ? "" : ", ") + std::to_string(n);
    lines.push_back(FormatInputLine(kSampleSizeCaption, ns));
    lines.push_back(FormatInputLine(kCovariateCountCaption, std::to_string(facts.k)));
    lines.push_back(" Analysis required: " + kTestCaptions[static_cast<std::size_t>(facts.test)]);
    if (facts.test == AnalysisTest::Deficit)
        lines.push_back(FormatInputLine("Alternative hypothesis :", AlternativeText(facts.alternative)));
    lines.push_back(FormatInputLine(kAlphaCaption, Entered(request.alphaText, separator)));
    if (facts.test == AnalysisTest::Deficit) {
        lines.push_back(FormatInputLine(kTargetPowerCaption, Entered(request.targetPowerText, separator)));
    } else {
        lines.push_back(FormatInputLine(kSimulationsCaption, std::to_string(facts.simulations)));
        lines.push_back(FormatInputLine(kDrawsCaption, std::to_string(facts.draws)));
    }
    lines.push_back("");
    WriteEnteredTable(facts.test, facts.k, request.entries, separator, true, lines);
}

// What the power is the probability of, under the model of the plan.
std::string Meaning(const PowerRequest& request, const PowerFacts& facts) {
    const std::string alpha = Entered(request.alphaText, request.decimalSeparator);
    const std::string covariates = facts.k > 0 ? ", with its covariate scores as entered," : ",";
    if (facts.test == AnalysisTest::Dissociation)
        return "Power: the share of simulated studies, each of n controls drawn at random from a population with "
               "these statistics and a case whose expected scores on Task 1 and Task 2 are the ones entered" +
               covariates + " in which the test finds at p < " + alpha +
               " what each line names: a significant difference (two-tailed), a classical or a strong dissociation "
               "(with one-tailed deficits, as the Conclusion line defines them); " +
               std::to_string(facts.simulations) + " studies of " + std::to_string(facts.draws) + " draws each.";
    std::string finding = "a deficit (a one-tailed p";
    if (facts.alternative == Alternative::Greater) finding = "a score above the controls' (a one-tailed p";
    if (facts.alternative == Alternative::TwoSided) finding = "a difference from the controls (a two-tailed p";
    return "Power: the probability that the test finds " + finding + " below " + alpha +
           ") for a case whose expected score on the task of interest is the one entered" + covariates +
           " against n controls drawn at random from a population with these statistics.";
}

void WriteDeficitPower(const PowerRequest& request, const PowerFacts& facts, Lines& lines) {
    const char separator = request.decimalSeparator;
    for (const PowerAtN& point : facts.powers)
        lines.push_back(" Power with " + std::to_string(point.n) +
                        " controls = " + Probability(point.power, separator));
    lines.push_back("");
    lines.push_back(" Power as n grows without bound (asymptote) = " + Probability(facts.plan.asymptote, separator));
    const std::string target = Entered(request.targetPowerText, separator);
    if (facts.plan.sampleSize) {
        lines.push_back(" Smallest n with a power of at least " + target + " = " +
                        std::to_string(*facts.plan.sampleSize));
    } else if (facts.plan.asymptote < facts.targetPower) {
        AppendWrapped("No number of controls reaches the target power of " + target +
                          ": however many controls there are, the power stays below its asymptote, " +
                          Probability(facts.plan.asymptote, separator) + ".",
                      lines);
    } else {
        AppendWrapped("No number of controls up to " + std::to_string(kMaxPlannedSampleSize) +
                          " reaches the target power of " + target + ".",
                      lines);
    }
}

void WriteDissociationPower(const PowerRequest& request, const PowerFacts& facts, Lines& lines) {
    const char separator = request.decimalSeparator;
    const auto row = [&](const std::string& name, const PowerEstimate& estimate) {
        std::string label = "   " + name;
        label.resize(34, ' ');
        return label + "= " + Probability(estimate.power, separator) + " (SE " +
               Probability(estimate.standardError, separator) + ")";
    };
    for (const DissociationPowerAtN& point : facts.simulated) {
        lines.push_back(" Power with " + std::to_string(point.n) +
                        " controls (each with its Monte Carlo standard error):");
        lines.push_back(row("Significant difference", point.result.difference));
        lines.push_back(row("Classical dissociation", point.result.classical));
        lines.push_back(row("Strong dissociation", point.result.strong));
        if (point.result.refusedStudies > 0)
            lines.push_back("   Studies whose controls the difference test refuses (counted as finding nothing) = " +
                            std::to_string(point.result.refusedStudies));
        lines.push_back("");
    }
}

}  // namespace

std::string PowerReportTitle(AnalysisTest test, int k) {
    const std::string& title = test == AnalysisTest::Dissociation ? kDissociationPowerTitle : kPowerTitle;
    if (k > 0) return title;
    const std::string covariates = "controlling for covariate(s)";
    return std::string(title).replace(title.find(covariates), covariates.size(), "without covariates");
}

std::vector<std::string> WritePowerReport(const PowerRequest& request, const PowerFacts& facts) {
    Lines lines;
    WriteReportHead(PowerReportTitle(facts.test, facts.k), request.followsEarlierReport, lines);
    WriteReportNotes(request.notes, lines);
    WriteInputs(request, facts, lines);
    lines.push_back(" OUTPUTS:");
    lines.push_back("");
    AppendWrapped(Meaning(request, facts), lines);
    lines.push_back("");
    if (facts.test == AnalysisTest::Dissociation)
        WriteDissociationPower(request, facts, lines);
    else
        WriteDeficitPower(request, facts, lines);
    lines.push_back(" ");
    return lines;
}

}  // namespace quorvane
