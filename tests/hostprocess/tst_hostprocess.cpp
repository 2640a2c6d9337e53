#include "fixturepaths.h"
#include "hostdriver.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <unistd.h>

// The real quillmark binary as the browser sees it.
class TestHostProcess : public QObject
{
    Q_OBJECT

private:
    static QString logName() { return QStringLiteral("quillmarklog.txt"); }

    static QString readFile(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

private slots:
    void closingInputEndsWithStatusZero()
    {
        TestHome home;
        HostDriver host(home.environment());
        QVERIFY(host.start());
        QTest::qWait(50);
        QVERIFY(host.closeInputAndWait());
        QCOMPARE(host.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.process().exitCode(), 0);
        const QString errors = QString::fromUtf8(host.standardError());
        QVERIFY2(errors.contains(QStringLiteral("End of file reached")), qPrintable(errors));
        QVERIFY(errors.contains(QStringLiteral("Quitting application...")));
    }

    void standardOutputCarriesNothingButFrames()
    {
        TestHome home;
        HostDriver host(home.environment());
        QVERIFY(host.start({QStringLiteral("chrome-extension://abc/"), QStringLiteral("second-argument")}));
        host.writeRaw(HostDriver::frame("{}") + HostDriver::frame("not json") + HostDriver::frame(""));
        QVERIFY(host.closeInputAndWait());
        QCOMPARE(host.process().exitCode(), 0);
        // Nothing may be written outside a frame.
        QVERIFY(host.pendingBytes().isEmpty());
        const QString errors = QString::fromUtf8(host.standardError());
        QVERIFY2(errors.contains(QRegularExpression(QStringLiteral(
                     "with arguments:\\s+\\(\"chrome-extension://abc/\", \"second-argument\"\\)"))),
                 qPrintable(errors));
        QVERIFY(errors.contains(QRegularExpression(QStringLiteral("Qt build version:\\s+\"?" QT_VERSION_STR))));
    }

    void noArgumentsNoArgumentLine()
    {
        TestHome home;
        HostDriver host(home.environment());
        QVERIFY(host.start());
        QVERIFY(host.closeInputAndWait());
        const QString errors = QString::fromUtf8(host.standardError());
        QVERIFY(errors.contains(QStringLiteral("Starting app:")));
        QVERIFY(!errors.contains(QStringLiteral("with arguments:")));
    }

    void logFileSwitchesLoggingWhileRunning()
    {
        TestHome home;
        HostDriver host(home.environment());
        QVERIFY(host.start());
        const QString path = home.logFile(logName());

        // An unknown method is logged as a failed call, with its name.
        host.send(QJsonObject{{"method", "probe-first"}});
        QTRY_VERIFY(host.standardError().contains("first"));
        QVERIFY(!QFile::exists(path));

        QVERIFY(home.switchLoggingOn(logName()));
        host.send(QJsonObject{{"method", "probe-second"}});
        QTRY_VERIFY(readFile(path).contains(QStringLiteral("second")));
        QVERIFY(!host.standardError().contains("second"));
        const QString line = readFile(path).split('\n', Qt::SkipEmptyParts).last();
        QVERIFY2(QRegularExpression(QStringLiteral(
                     "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ - -?\\d+ - [DWCF] - .* - at .+ in .+ line \\d+$"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));

        QVERIFY(QFile::remove(path));
        host.send(QJsonObject{{"method", "probe-third"}});
        QTRY_VERIFY(host.standardError().contains("third"));
        QVERIFY(!QFile::exists(path));
        QVERIFY(host.closeInputAndWait());
    }

    void findsItsTranslationsFromAnyWorkingDirectory()
    {
        TestHome home;
        HostDriver host(home.environment());
        QVERIFY(host.start({}, home.path()));
        host.send(QJsonObject{{"method", "probe-ready"}});
        QTRY_VERIFY(host.standardError().contains("ready"));
        const QString cwd = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(host.process().processId()))
                                .symLinkTarget();
        QCOMPARE(QDir(cwd).canonicalPath(), QDir(QStringLiteral(QUILLMARK_STAGE_BIN)).canonicalPath());
        QVERIFY(QFile::exists(cwd + QStringLiteral("/../share/translations/Quillmark_en.qm")));
        QVERIFY(QFile::exists(cwd + QStringLiteral("/../share/translations/Quillmark_sk.qm")));
        QVERIFY(host.closeInputAndWait());
    }

    // A signing run keeps the PIN and the token session in this process's
    // memory: no other process of the user may attach to it, and no core
    // file takes it to disk. The kernel shows such a process by giving its
    // /proc files to root, which is seen only when it runs as someone else.
    void noOtherProcessOfTheUserReadsItsMemory()
    {
        TestHome home;
        HostDriver host(home.environment());
        QStringList arguments;
        if (geteuid() == 0) {
            host.process().setProgram(QStringLiteral("setpriv"));
            arguments =
                QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                            QStringLiteral("--clear-groups"), HostDriver::binaryPath()};
        }
        QVERIFY(host.start(arguments));
        host.send(QJsonObject{{"method", "probe-ready"}});
        QTRY_VERIFY(host.standardError().contains("ready"));
        const QString entry = QStringLiteral("/proc/%1").arg(host.process().processId());
        const QString status = readFile(entry + QStringLiteral("/status"));
        QVERIFY2(QRegularExpression(QStringLiteral("\\nUid:\\s+[1-9]")).match(status).hasMatch(),
                 qPrintable(status));
        QCOMPARE(QFileInfo(entry + QStringLiteral("/status")).ownerId(), 0u);
        QVERIFY(host.closeInputAndWait());
    }

    void versionOption()
    {
        QProcess process;
        process.setProcessEnvironment(TestHome().environment());
        process.start(HostDriver::binaryPath(), {QStringLiteral("--version")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QRegularExpression(QStringLiteral("1\\.0\\.7 \\([0-9a-f]{40}\\)"))
                    .match(QString::fromUtf8(process.readAllStandardOutput()))
                    .hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestHostProcess)
#include "tst_hostprocess.moc"
