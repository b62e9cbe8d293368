#pragma once

// A logging category per subsystem, all off by default; turned on with QT_LOGGING_RULES, for
// example QT_LOGGING_RULES="vantor.simulator.debug=true". Raw frames are the serial layer's
// own category, vantor.serial; these say what was decided.

#include <QLoggingCategory>

namespace vantor {

// What the simulated slaves made of each request: verdict, reason, fault, delay, value.
Q_DECLARE_LOGGING_CATEGORY(lcSimulator)
// The settings file: reads, saves, waits for its lock and why one failed.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
// Configuration frames: what was encoded, or why nothing was.
Q_DECLARE_LOGGING_CATEGORY(lcConfig)

}  // namespace vantor
