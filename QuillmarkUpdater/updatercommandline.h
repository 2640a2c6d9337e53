#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

class QCoreApplication;

// The updater's options and the mode they choose: silent wins over console,
// console over graphical.
class UpdaterCommandLine
{
public:
    enum class Mode { None, Silent, Console, Graphical };

    UpdaterCommandLine();

    // Reads the options before an application object exists, so that the
    // mode can decide which kind of application to create; false on an
    // unknown option (process() then reports it).
    bool parse(const QStringList &arguments);
    // Handles help, version and wrong options itself (the process ends there).
    void process(const QCoreApplication &application);
    Mode mode() const;
    QString language() const;
    void showHelpAndExit();

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_silent;
    QCommandLineOption m_console;
    QCommandLineOption m_graphical;
    QCommandLineOption m_language;
};
