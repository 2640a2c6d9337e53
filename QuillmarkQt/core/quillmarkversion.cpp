#include "quillmarkversion.h"

#include "buildinfo.h"

QString QuillmarkVersion::applicationVersion()
{
    return QStringLiteral("%1 (%2)").arg(QLatin1String(component),
                                         QLatin1String(QUILLMARK_BUILD_REVISION));
}
