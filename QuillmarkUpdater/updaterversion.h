#pragma once

#include <QString>

// Version facts of the updater fixed at build time.
class UpdaterVersion
{
public:
    static constexpr const char *release = "1.1.0";

    // "1.1.0 (<40-hex build revision>)"
    static QString applicationVersion();
};
