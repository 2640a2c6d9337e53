#pragma once

#include <QString>

// Version facts of quillmark fixed at build time.
class QuillmarkVersion
{
public:
    static constexpr const char *component = "1.0.7";
    static constexpr const char *defaultPlatform = "qt";

    // "1.0.7 (<40-hex build revision>)"
    static QString applicationVersion();
};
