#include "quillmarkversion.h"

#include "buildinfo.h"

const char *const QuillmarkVersion::component = QUILLMARK_COMPONENT_VERSION;

QString QuillmarkVersion::applicationVersion()
{
    return QStringLiteral("%1 (%2)").arg(QLatin1String(component),
                                         QLatin1String(QUILLMARK_BUILD_REVISION));
}
