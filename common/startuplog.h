#pragma once

// The first lines every program writes into its diagnostic log: who starts,
// on which Qt, with which arguments.
namespace StartupLog {

// Call once the application object exists.
void logStart();

} // namespace StartupLog
