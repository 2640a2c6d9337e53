// A library that announces being loaded: its initialiser creates the file
// "<its own path>.loaded" before any PKCS#11 call could be made, as a
// library planted by a web page would run its code. Tests check that the
// file never appears.
#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace {

__attribute__((constructor)) void announceLoading()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&announceLoading), &info) == 0 || !info.dli_fname)
        return;
    const std::string marker = std::string(info.dli_fname) + ".loaded";
    if (std::FILE *file = std::fopen(marker.c_str(), "w"))
        std::fclose(file);
}

} // namespace
