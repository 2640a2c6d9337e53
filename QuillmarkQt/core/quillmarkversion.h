#pragma once

#include <QString>

// Version facts of quillmark fixed at build time.
namespace QuillmarkVersion {

// The component version in the name of every method and event the page
// sees ("1.0.7"), from project(VERSION) in the top CMakeLists.txt.
extern const char *const component;
constexpr const char *defaultPlatform = "qt";

// "1.0.7 (<40-hex build revision>)"
QString applicationVersion();

} // namespace QuillmarkVersion
