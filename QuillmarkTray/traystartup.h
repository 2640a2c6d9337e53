#pragma once

#include <QString>

class QTranslator;

// The start-up facts and steps of QuillmarkTray that come before its icon.
class TrayStartup
{
public:
    static constexpr const char *version = "1.0.1";
    // The file whose lock marks the user's running tray.
    static constexpr const char *instanceLockName = "quillmark-tray.lock";

    // "1.0.1 (<40-hex build revision>)"
    static QString applicationVersion();
    // "sk" on a Slovak system, "en" everywhere else.
    static QString checkSystemLanguage();
    // Loads and installs "../share/translations/QuillmarkTray_<language>.qm";
    // false (and logged) when the file is missing or unusable.
    static bool installTranslation(QTranslator &translator, const QString &language);
};
