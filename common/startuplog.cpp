#include "startuplog.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtDebug>

namespace {

// ("first", "second"), as Qt 5 prints a QStringList; Qt 6 prints QList(...).
// The log line stays the same with either.
QString listed(const QStringList &texts)
{
    QStringList quoted;
    for (const QString &text : texts) {
        QString item;
        QDebug(&item) << text;
        quoted << item.trimmed();
    }
    return QLatin1Char('(') + quoted.join(QLatin1String(", ")) + QLatin1Char(')');
}

} // namespace

void StartupLog::logStart()
{
    qDebug() << "Starting app: " << QCoreApplication::applicationName()
             << QCoreApplication::applicationVersion();
    qDebug() << "Qt build version: " << QT_VERSION_STR;
    qDebug() << "Qt runtime version: " << qVersion();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        qDebug().noquote() << "with arguments: " << listed(arguments.mid(1));
}
