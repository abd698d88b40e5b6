#include <iostream>

#include "app/report_files.h"

namespace quorvane {

const char* const kReportFileUsage = "";

bool TakeReportFileOption(std::string_view option, const std::string&, ReportFileRequest&) {
    std::cerr << "quorvane-report: " << option << " needs the build with the program's windows\n";
    return false;
}

void WriteReportFiles(const ReportFileRequest&, const std::vector<std::string>&, const RunFacts&, char) {}

void WriteReportFiles(const ReportFileRequest&, const std::vector<std::string>&, const FigureInput&) {}

}  // namespace quorvane
