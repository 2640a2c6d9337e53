#include "sharedobject.h"

#include <QFile>

#include <dlfcn.h>

namespace {

// The text the loader leaves for the last failure of this thread.
QString loaderError()
{
    const char *error = ::dlerror();
    return error ? QString::fromLocal8Bit(error) : QString();
}

} // namespace

void SharedObject::Closer::operator()(void *handle) const
{
    ::dlclose(handle);
}

SharedObject::SharedObject(const QString &file)
{
    if (!file.startsWith(QLatin1Char('/'))) {
        m_errorString = QStringLiteral("Cannot load library %1: not an absolute path").arg(file);
        return;
    }
    // Loaded by its name rather than through a descriptor opened and checked
    // first (/proc/self/fd/N): the loader would take that name for the
    // module's own, and a module that finds its libraries next to itself
    // ($ORIGIN) would no longer find them.
    // Symbols are bound at once, so that a module lacking one fails here
    // rather than in the middle of a signing; they stay the module's own.
    m_handle.reset(::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL));
    if (!m_handle)
        m_errorString = QStringLiteral("Cannot load library %1: (%2)").arg(file, loaderError());
}

bool SharedObject::isLoaded() const
{
    return m_handle != nullptr;
}

QString SharedObject::errorString() const
{
    return m_errorString;
}

void *SharedObject::resolve(const char *symbol) const
{
    return m_handle ? ::dlsym(m_handle.get(), symbol) : nullptr;
}
