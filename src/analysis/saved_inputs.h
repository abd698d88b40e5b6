#pragma once
// The saved inputs file: the texts of the eight input fields, each followed by a blank,
// in the program's folder. Written at each Compute that passes the input checks,
// deleted by Clear Data, never read back.

#include <array>
#include <string>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

std::string SavedInputsPath(Platform& platform);
// Replaces the file; throws EInOutError when it cannot be written.
void SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts, Platform& platform);
// Deletes the file when it exists; a failure is ignored.
void DeleteSavedInputs(Platform& platform);

}  // namespace quorvane
