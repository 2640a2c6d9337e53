#include "diagnosticlog.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

class TestDiagnosticLog : public QObject
{
    Q_OBJECT

private:
    static QString readAll(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    TestHome m_home;
    const QDateTime m_when = QDateTime(QDate(2015, 3, 4), QTime(12, 34, 56), Qt::UTC);

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        m_home.applyToCurrentProcess();
        // Updater flavour: drops messages while logging is off, so nothing
        // of this test leaks to the test runner's output.
        DiagnosticLog::install(DiagnosticLog::Program::Updater);
    }

    void composesQuillmarkLineWithThread()
    {
        const QMessageLogContext context("src/a.cpp", 42, "int main(int, char**)", "default");
        const QString line = DiagnosticLog::composeLine(
            DiagnosticLog::profile(DiagnosticLog::Program::Quillmark), QtWarningMsg, context,
            QStringLiteral("hello"), m_when);
        QVERIFY2(QRegularExpression(QStringLiteral(
                     "^2015-03-04T12:34:56Z - -?\\d+ - W - hello - at int main\\(int, char\\*\\*\\) "
                     "in src/a.cpp line 42$"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
    }

    void placeholdersInsideTheMessageSurvive_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("percent two") << QStringLiteral("value %2 kept");
        QTest::newRow("url") << QStringLiteral("http://host/a%20b%7Ec?x=%1");
        QTest::newRow("percent seven") << QStringLiteral("%7%6%5%4");
    }

    void placeholdersInsideTheMessageSurvive()
    {
        QFETCH(QString, message);
        const QMessageLogContext context("f.cpp", 7, "void f()", "default");
        for (auto program : {DiagnosticLog::Program::Quillmark, DiagnosticLog::Program::Tray}) {
            const QString line = DiagnosticLog::composeLine(DiagnosticLog::profile(program),
                                                            QtDebugMsg, context, message, m_when);
            QVERIFY2(line.contains(QStringLiteral(" - D - ") + message + QStringLiteral(" - at void f() in f.cpp line 7")),
                     qPrintable(line));
        }
    }

    void levelLetters()
    {
        const QMessageLogContext context;
        const auto profile = DiagnosticLog::profile(DiagnosticLog::Program::Updater);
        const QList<QPair<QtMsgType, QString>> levels{{QtDebugMsg, "D"}, {QtWarningMsg, "W"},
                                                      {QtCriticalMsg, "C"}, {QtFatalMsg, "F"},
                                                      {QtInfoMsg, "?"}};
        for (const auto &level : levels) {
            const QString line = DiagnosticLog::composeLine(profile, level.first, context,
                                                            QStringLiteral("m"), m_when);
            QCOMPARE(line, QStringLiteral("2015-03-04T12:34:56Z - %1 - m - at  in  line 0").arg(level.second));
        }
    }

    void pathIsUnderDocuments()
    {
        QCOMPARE(DiagnosticLog::logFilePath(QStringLiteral("quillmarktraylog.txt")),
                 m_home.logFile(QStringLiteral("quillmarktraylog.txt")));
        QCOMPARE(DiagnosticLog::logDirectory(), m_home.logDirectory() + QLatin1Char('/'));
    }

    void fileExistenceSwitchesLogging()
    {
        const QString path = m_home.logFile(QStringLiteral("quillmarkupdaterlog.txt"));
        qDebug("before the file exists");
        QVERIFY(!QFile::exists(path));

        QVERIFY(m_home.switchLoggingOn(QStringLiteral("quillmarkupdaterlog.txt")));
        qDebug("first line %s", "logged");
        qWarning("second line");
        const QStringList lines = readAll(path).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).contains(QStringLiteral(" - D - first line logged - at ")));
        QVERIFY(lines.at(0).contains(QStringLiteral("tst_diagnosticlog.cpp line ")));
        QVERIFY(lines.at(1).contains(QStringLiteral(" - W - second line - at ")));

        QVERIFY(QFile::remove(path));
        qDebug("after removal");
        QVERIFY(!QFile::exists(path));
    }

    void directoryAtTheFilePathMeansOff()
    {
        const QString path = m_home.logFile(QStringLiteral("quillmarkupdaterlog.txt"));
        QVERIFY(QDir().mkpath(path));
        qDebug("into a directory");
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        QVERIFY(QDir(path).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(TestDiagnosticLog)
#include "tst_diagnosticlog.moc"
