#pragma once

#include "cli/CliOptions.h"
#include "core/settings/IniFile.h"

namespace vantor::cli {

// vantor-cli poll: polls the field devices as the configured module would.
int runPoll(const CliOptions& o, const IniFile& ini);

}  // namespace vantor::cli
