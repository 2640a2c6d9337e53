#include "fuzzsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

void FuzzSupport::initialise()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qInstallMessageHandler(dropMessage);
    static QTemporaryDir workDirectory;
    QDir::setCurrent(workDirectory.path());
}
