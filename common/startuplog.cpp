#include "startuplog.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtDebug>

void StartupLog::logStart()
{
    qDebug() << "Starting app: " << QCoreApplication::applicationName()
             << QCoreApplication::applicationVersion();
    qDebug() << "Qt build version: " << QT_VERSION_STR;
    qDebug() << "Qt runtime version: " << qVersion();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        qDebug() << "with arguments: " << arguments.mid(1);
}
