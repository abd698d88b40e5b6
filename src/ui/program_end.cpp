#include "ui/program_end.h"

namespace quorvane {

void EndProgram() { QCoreApplication::exit(0); }

}  // namespace quorvane
