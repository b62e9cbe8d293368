#pragma once

#include "cli/CliOptions.h"
#include "core/settings/IniFile.h"

namespace vantor::cli {

// vantor-cli replay: plays a recorded line back, as its slaves or as its master.
int runReplay(const CliOptions& o, const IniFile& ini);

}  // namespace vantor::cli
