#pragma once

#include <QString>
#include <QStringList>

// Collects the messages the code under test logs, in-process, instead of
// letting them reach the test output.
class LogCapture
{
public:
    static void install();
    static void clear();
    static QStringList messages();
    static int count(const QString &text);
    static bool contains(const QString &text);
};
