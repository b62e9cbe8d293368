#pragma once

#include "cli/CliOptions.h"
#include "core/settings/IniFile.h"

namespace vantor::cli {

// vantor-cli listen: hears the line and writes nothing; with --scan, finds its settings.
int runListen(const CliOptions& o, const IniFile& ini);

}  // namespace vantor::cli
