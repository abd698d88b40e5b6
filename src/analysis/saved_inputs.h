#pragma once
// The saved inputs file: the texts of the eight input fields, each followed by a blank,
// in the program's folder. Written at each Compute that passes the input checks,
// deleted by Clear Data, never read back.

#include <array>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/metrics_papers.h"
#include "analysis/platform.h"

namespace quorvane {

std::string SavedInputsPath(Platform& platform, const std::string& fileName = InputsFileName);
// Replaces the file; throws EInOutError when it cannot be written.
void SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts, Platform& platform);
// The same for any list of texts, in the program's folder under fileName: the companion
// program keeps its own file.
void SaveInputTexts(const std::vector<std::string>& texts, const std::string& fileName,
                    Platform& platform);
// Deletes the file when it exists; a failure is ignored.
void DeleteSavedInputs(Platform& platform, const std::string& fileName = InputsFileName);

}  // namespace quorvane
