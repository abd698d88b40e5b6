#include <iostream>

#include "app/report_files.h"

namespace quorvane {

const char* const kReportFileUsage = "";

bool IsReportFileOption(std::string_view option) { return option == "--pdf" || option == "--figure"; }

bool TakeReportFileOption(std::string_view option, const std::string&, ReportFileRequest&) {
    std::cerr << "quorvane-report: " << option << " needs the build with the program's windows\n";
    return false;
}

void WriteReportFiles(const ReportFileRequest&, const ComputeOutcome&, char) {}

}  // namespace quorvane
