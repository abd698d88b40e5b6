#pragma once
// The saved inputs file: the texts of the eight input fields, each followed by a blank.
// Written at each Compute that passes the input checks, deleted by Clear Data, never
// read back. A program run from its build folder keeps it there, or in the user's own
// state folder when its folder cannot be written; an installed program never writes into
// its folder, whoever runs it, and keeps it in the user's state folder.

#include <array>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/program_texts.h"
#include "analysis/platform.h"

namespace quorvane {

// The program's folder in the user's state folder: $XDG_STATE_HOME/quorvane, else
// $HOME/.local/state/quorvane; a variable that is not an absolute path counts as unset,
// as the XDG base directory rules say. Empty when neither names a folder.
std::string UserStateFolder(Platform& platform);

// Replaces the file in the program's folder (not for an installed program) or, when it
// cannot be written there, in the user's state folder, made on first use; returns the
// full name written. Throws EInOutError naming each place tried and why it failed when
// none can be written. A dissociation adds one item, its TestName, after the field texts;
// a deficit's file is the field texts alone, as it always was.
std::string SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts, Platform& platform,
                            AnalysisTest test = AnalysisTest::Deficit);
// The file of the request's program: the raw program's field texts (n, k, the number of
// cases when it is not 1, and empty fields), or the companion's n, k, each variable's
// mean, SD and case's score, then the correlations; a dissociation adds its item.
std::string SaveRequestInputs(const AnalysisRequest& request, Platform& platform);
// The texts with the item that records a dissociation after them.
std::vector<std::string> WithTestItem(std::vector<std::string> texts, AnalysisTest test);
// The same for any list of texts under fileName: the companion program keeps its own file.
std::string SaveInputTexts(const std::vector<std::string>& texts, const std::string& fileName,
                           Platform& platform);
// Deletes the file from each place it may be written to; a failure is ignored.
void DeleteSavedInputs(Platform& platform, const std::string& fileName = InputsFileName);

}  // namespace quorvane
