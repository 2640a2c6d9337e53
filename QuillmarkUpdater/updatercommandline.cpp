#include "updatercommandline.h"

#include <QCoreApplication>

UpdaterCommandLine::UpdaterCommandLine()
    : m_silent({QStringLiteral("s"), QStringLiteral("silent")},
               QCoreApplication::translate("main",
                                           "Run console version of updater without displaying errors."))
    , m_console({QStringLiteral("c"), QStringLiteral("console")},
                QCoreApplication::translate("main", "Run console version of updater."))
    , m_graphical({QStringLiteral("g"), QStringLiteral("gui")},
                  QCoreApplication::translate("main", "Run updater with graphic interface."))
    , m_language(QStringLiteral("l"),
                 QCoreApplication::translate("main", "Set <language> of application.[en,sk]"),
                 QStringLiteral("language"), QStringLiteral("en"))
{
    m_parser.setApplicationDescription(QStringLiteral("Quillmark Updater"));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOption(m_silent);
    m_parser.addOption(m_console);
    m_parser.addOption(m_graphical);
    m_parser.addOption(m_language);
}

bool UpdaterCommandLine::parse(const QStringList &arguments)
{
    return m_parser.parse(arguments);
}

void UpdaterCommandLine::process(const QCoreApplication &application)
{
    m_parser.process(application);
}

UpdaterCommandLine::Mode UpdaterCommandLine::mode() const
{
    if (m_parser.isSet(m_silent))
        return Mode::Silent;
    if (m_parser.isSet(m_console))
        return Mode::Console;
    if (m_parser.isSet(m_graphical))
        return Mode::Graphical;
    return Mode::None;
}

QString UpdaterCommandLine::language() const
{
    return m_parser.value(m_language);
}

void UpdaterCommandLine::showHelpAndExit()
{
    m_parser.showHelp(0);
}
