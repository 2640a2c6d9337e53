#include "updaterversion.h"

#include "buildinfo.h"

QString UpdaterVersion::applicationVersion()
{
    return QStringLiteral("%1 (%2)").arg(QLatin1String(release),
                                         QLatin1String(QUILLMARK_BUILD_REVISION));
}
