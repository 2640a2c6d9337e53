#pragma once

#include <QString>

#include <memory>

// A shared object loaded with dlopen for the lifetime of the holder. Only
// the file named is ever loaded: it must be an absolute path, so the loader
// neither searches the library path nor tries other names for it. Every
// holder counts as one load with the system's loader, so that a second
// holder of the same file ending leaves the first one's loaded.
class SharedObject
{
public:
    explicit SharedObject(const QString &file);

    bool isLoaded() const;
    // Why the file is not loaded, with the loader's own words.
    QString errorString() const;
    // The address of the symbol, or null when the object has none.
    void *resolve(const char *symbol) const;

private:
    struct Closer
    {
        void operator()(void *handle) const;
    };

    std::unique_ptr<void, Closer> m_handle;
    QString m_errorString;
};
