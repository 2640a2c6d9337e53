#include "traystartup.h"

#include "buildinfo.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtDebug>

QString TrayStartup::applicationVersion()
{
    return QStringLiteral("%1 (%2)").arg(QLatin1String(version),
                                         QLatin1String(QUILLMARK_BUILD_REVISION));
}

QString TrayStartup::checkSystemLanguage()
{
    qDebug() << "Checking system language";
    const QString language = QLocale::system().language() == QLocale::Slovak ? QStringLiteral("sk")
                                                                             : QStringLiteral("en");
    qDebug() << "System language was found: " << language;
    return language;
}

bool TrayStartup::installTranslation(QTranslator &translator, const QString &language)
{
    if (!translator.load(QStringLiteral("../share/translations/QuillmarkTray_") + language
                         + QStringLiteral(".qm"))) {
        qDebug() << "Could not find language package.";
        return false;
    }
    if (!QCoreApplication::installTranslator(&translator)) {
        qDebug() << "Launguage package is corrupted.";
        return false;
    }
    return true;
}
