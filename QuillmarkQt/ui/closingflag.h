#pragma once

#include <atomic>

// Process-wide "the component is finishing" flag: raised by terminate(),
// lowered when a new document window opens, read by waiting dialogs and the
// PIN loops on any thread.
class ClosingFlag
{
public:
    static void raise();
    static void lower();
    static bool isRaised();

private:
    static std::atomic_bool s_raised;
};
