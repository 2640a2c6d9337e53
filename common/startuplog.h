#pragma once

// The first lines every program writes into its diagnostic log: who starts,
// on which Qt, with which arguments. Call once the application object exists.
class StartupLog
{
public:
    static void logStart();
};
