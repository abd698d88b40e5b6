#pragma once
// The report tool's --pdf and --figure: the report's PDF and its figure as files,
// drawn without a display. Without the windows' build the options are refused.

#include <optional>
#include <string>
#include <string_view>

#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/report_figure.h"

namespace quorvane {

struct ReportFileRequest {
    std::optional<std::string> pdf;     // --pdf FILE
    std::optional<std::string> figure;  // --figure FILE.svg|FILE.png
};

// The lines of --help for the two options.
extern const char* const kReportFileUsage;

// Takes the value of --pdf or --figure; false, with a message on standard error, when
// this build cannot write the files or the figure's kind is unknown.
bool TakeReportFileOption(std::string_view option, const std::string& value, ReportFileRequest& request);

// Writes the requested files for the finished analysis; throws EInOutError naming the
// file when one cannot be written.
void WriteReportFiles(const ReportFileRequest& request, const std::vector<std::string>& reportLines,
                      const RunFacts& facts, char decimalSeparator);
// The same for any report with its figure: a study's plan (PowerFigureOf).
void WriteReportFiles(const ReportFileRequest& request, const std::vector<std::string>& reportLines,
                      const FigureInput& figure);

}  // namespace quorvane
