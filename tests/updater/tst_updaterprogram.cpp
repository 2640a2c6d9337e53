#include "authproxy.h"
#include "fixturepaths.h"
#include "testhome.h"
#include "updatertree.h"
#include "updatesite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {
const QString versionPath = QStringLiteral("/version.xml");
const QString packageName = QStringLiteral("quillmark_1.2.0_amd64.deb");
const QString packagePath = QStringLiteral("/pool/") + packageName;
const QString website = QStringLiteral("https://quillmark.test/news");
const QString logName = QStringLiteral("quillmarkupdaterlog.txt");

struct Run
{
    int exitCode = -1;
    QString output;
    QString errors;
    qint64 milliseconds = -1;
};

struct PtyRun
{
    int exitCode = -1;
    QString transcript;
    QList<bool> echo;
};
} // namespace

class TestUpdaterProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noModePrintsHelp();
    void missingTranslationEndsWithOne();
    void silentExitCodes_data();
    void silentExitCodes();
    void silentNeverAsksForProxyCredentials();
    void silentOverHttps();
    void silentRunOnHostileServer_data();
    void silentRunOnHostileServer();
    void consoleInstallsAfterYes_data();
    void consoleInstallsAfterYes();
    void consoleAnswerNoAfterUnknownAnswer();
    void consoleInstallerFailure();
    void consoleInstallerThatCannotStart();
    void consoleQuotesHostileFileName();
    void consoleProgressUnits_data();
    void consoleProgressUnits();
    void consoleReportsErrors_data();
    void consoleReportsErrors();
    void consoleProxyPasswordIsNotEchoed();
    void graphicalRun_data();
    void graphicalRun();

private:
    // Runs the start script, or wrapper with the script and arguments
    // appended.
    Run run(const QStringList &arguments, const QProcessEnvironment &extra = {},
            const QStringList &wrapper = {});
    PtyRun runOnTerminal(const QStringList &arguments, const QJsonArray &steps,
                         const QProcessEnvironment &extra = {});
    QProcessEnvironment environment(const QProcessEnvironment &extra) const;
    void publishRelease(
        const QByteArray &package = UpdateSite::debianPackage(QStringLiteral("1.2.0")),
        const QString &installed = QStringLiteral("1.1.0"));
    QString log() const;
    // Publishes the release where only the proxy reaches it; the returned
    // environment points the program at the proxy.
    QProcessEnvironment publishBehindProxy(const AuthProxy &proxy);
    QString savedPackage(const QString &name = packageName) const;

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<UpdaterTree> m_tree;
    std::unique_ptr<UpdateSite> m_site;
};

void TestUpdaterProgram::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(m_home->switchLoggingOn(logName));
    m_tree = std::make_unique<UpdaterTree>();
    QVERIFY(m_tree->installProgram());
    m_tree->addInstallerStandIns();
    m_site = std::make_unique<UpdateSite>();
    QVERIFY(m_site->start());
}

void TestUpdaterProgram::cleanup()
{
    m_site.reset();
    m_tree.reset();
    m_home.reset();
}

QProcessEnvironment TestUpdaterProgram::environment(const QProcessEnvironment &extra) const
{
    QProcessEnvironment result = m_tree->environment(m_home->environment());
    for (const QString &key : extra.keys())
        result.insert(key, extra.value(key));
    return result;
}

Run TestUpdaterProgram::run(const QStringList &arguments, const QProcessEnvironment &extra,
                            const QStringList &wrapper)
{
    QProcess process;
    process.setProcessEnvironment(environment(extra));
    process.setWorkingDirectory(m_tree->root());
    // Through the start script, as the tray runs it.
    const QStringList command = wrapper + QStringList{m_tree->script()} + arguments;
    QElapsedTimer clock;
    clock.start();
    process.start(command.constFirst(), command.mid(1));
    process.closeWriteChannel();
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.milliseconds = clock.elapsed();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

PtyRun TestUpdaterProgram::runOnTerminal(const QStringList &arguments, const QJsonArray &steps,
                                         const QProcessEnvironment &extra)
{
    QProcess driver;
    driver.setProcessEnvironment(environment(extra));
    driver.setWorkingDirectory(m_tree->root());
    driver.start(QStringLiteral("python3"),
                 QStringList{qEnvironmentVariable("QUILLMARK_PTY_DRIVER"),
                             QString::fromUtf8(QJsonDocument(steps).toJson(QJsonDocument::Compact)),
                             m_tree->program()}
                     + arguments);
    PtyRun result;
    if (!driver.waitForFinished(90000)) {
        driver.kill();
        driver.waitForFinished();
        return result;
    }
    const QJsonObject report = QJsonDocument::fromJson(driver.readAllStandardOutput()).object();
    result.exitCode = report.value(QStringLiteral("exit")).toInt(-1);
    result.transcript = report.value(QStringLiteral("transcript")).toString();
    for (const QJsonValue &flag : report.value(QStringLiteral("echo")).toArray())
        result.echo.append(flag.toBool());
    return result;
}

void TestUpdaterProgram::publishRelease(const QByteArray &package, const QString &installed)
{
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_site->publish(packagePath, package);
    m_tree->writeConfiguration(UpdateSite::configuration(installed, m_site->url(versionPath),
                                                         m_site->url(packagePath)));
}

QProcessEnvironment TestUpdaterProgram::publishBehindProxy(const AuthProxy &proxy)
{
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         AuthProxy::hiddenSite() + versionPath,
                                                         AuthProxy::hiddenSite() + packagePath));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("http_proxy"), proxy.address());
    return extra;
}

QString TestUpdaterProgram::log() const
{
    QFile file(m_home->logFile(logName));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString TestUpdaterProgram::savedPackage(const QString &name) const
{
    return m_tree->downloadDirectory() + QLatin1Char('/') + name;
}

void TestUpdaterProgram::noModePrintsHelp()
{
    const Run result = run({});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.output.contains(QStringLiteral("-s, --silent")), qPrintable(result.output));
    QVERIFY(result.output.contains(QStringLiteral("Run updater with graphic interface.")));
    QVERIFY(m_site->requestedPaths().isEmpty());
    QVERIFY(log().contains(QRegularExpression(QStringLiteral("Qt build version: +")
                                              + QRegularExpression::escape(QT_VERSION_STR))));
}

void TestUpdaterProgram::missingTranslationEndsWithOne()
{
    publishRelease();
    const Run result = run({QStringLiteral("-lxx"), QStringLiteral("-s")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(m_site->requestedPaths().isEmpty());
    QVERIFY(log().contains(QStringLiteral("../share/translations/QuillmarkUpdater_xx.qm was not found")));
}

void TestUpdaterProgram::silentExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("documentMissing");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    // The line breaks around the texts end the (silent) progress lines.
    const QString offer = QStringLiteral("\nA new version 1.2.0.0.0.0 is available.\n"
                                         "Note: What is new is described at %1\n\n")
                              .arg(website);
    QTest::newRow("current") << QStringList{"-s"} << "1.2.0" << false << 3
                             << "\nYou have the latest version of Quillmark.\n\n";
    QTest::newRow("newer") << QStringList{"-s"} << "1.1.0" << false << 2 << offer;
    QTest::newRow("silent wins over graphical")
        << QStringList{"-g", "-s"} << "1.1.0" << false << 2 << offer;
    QTest::newRow("error shows nothing") << QStringList{"--silent"} << "1.1.0" << true << 1 << "";
    QTest::newRow("slovak") << QStringList{"-lsk", "-s"} << "1.2.0" << false << 3
                            << "\nMáte najnovšiu verziu aplikácie Quillmark.\n\n";
}

void TestUpdaterProgram::silentExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, installed);
    QFETCH(bool, documentMissing);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    publishRelease(UpdateSite::debianPackage(QStringLiteral("1.2.0")), installed);
    if (documentMissing)
        m_site->fail(versionPath, 404);
    const Run result = run(arguments, {});
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.output, output);
    QCOMPARE(m_site->requestCount(packagePath), 0);
    QVERIFY(m_tree->recordedCalls(QStringLiteral("sudo")).isEmpty());
}

void TestUpdaterProgram::silentNeverAsksForProxyCredentials()
{
    AuthProxy proxy(QStringLiteral("alice"), QStringLiteral("s3cret"), m_site->port());
    QVERIFY(proxy.start());
    const QProcessEnvironment extra = publishBehindProxy(proxy);
    const Run result = run({QStringLiteral("-s")}, extra);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!result.output.contains(QStringLiteral("username")));
    QVERIFY(proxy.requestsSeen() >= 1);
    QVERIFY(m_site->requestedPaths().isEmpty());
}

void TestUpdaterProgram::silentOverHttps()
{
    // The program trusts only the system's certificate store, so the test
    // lays its own store over it in a private mount namespace.
    UpdateSite secure(UpdateServer::Scheme::Https);
    QVERIFY(secure.start());
    secure.publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         secure.url(versionPath),
                                                         secure.url(packagePath)));
    const QString store = m_tree->root() + QStringLiteral("/certs");
    QVERIFY(QDir().mkpath(store));
    QVERIFY(QFile::copy(UpdateServer::developmentCaPath(), store + QStringLiteral("/development-ca.pem")));
    QProcess rehash;
    rehash.start(QStringLiteral("openssl"), {QStringLiteral("rehash"), store});
    QVERIFY(rehash.waitForFinished() && rehash.exitCode() == 0);

    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")});
    if (!probe.waitForFinished() || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP("no private mount namespace here");

    QProcess process;
    process.setProcessEnvironment(environment({}));
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("mount --bind \"$1\" /etc/ssl/certs && exec \"$2\" -s"),
                   QStringLiteral("sh"), store, m_tree->script()});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(secure.requestCount(versionPath + QStringLiteral(".sig")), 1);

    // Without the development CA the same server is not trusted.
    QCOMPARE(run({QStringLiteral("-s")}).exitCode, 1);
    QVERIFY(log().contains(QStringLiteral("Download of ") + secure.url(versionPath)));
}

void TestUpdaterProgram::silentRunOnHostileServer_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QString>("logged");
    QTest::newRow("silent") << "silent" << "No progress from ";
    QTest::newRow("endless body") << "endless" << " exceeds the limit of 65536 bytes";
    QTest::newRow("gzip bomb") << "gzip bomb" << "Refusing the content encoding gzip of ";
}

// The daily run against a server that keeps it waiting or floods it: the
// updater itself ends with the error code, by no signal, in seconds and
// with little memory. /usr/bin/time reports the peak resident size.
void TestUpdaterProgram::silentRunOnHostileServer()
{
    QFETCH(QString, behaviour);
    QFETCH(QString, logged);
    if (behaviour == QLatin1String("silent"))
        m_site->acceptSilently(versionPath);
    else if (behaviour == QLatin1String("endless"))
        m_site->serveEndlessBody(versionPath);
    else
        m_site->serveGzipBomb(versionPath, 8192);
    m_tree->writeConfiguration(UpdateSite::configuration(
        QStringLiteral("1.1.0"), m_site->url(versionPath), m_site->url(packagePath), 2));
    const QString peakFile = m_tree->root() + QStringLiteral("/peak-kib.txt");
    const Run result = run({QStringLiteral("-s")}, {},
                           {QStringLiteral("/usr/bin/time"), QStringLiteral("-f"),
                            QStringLiteral("%M"), QStringLiteral("-o"), peakFile});
    // time reports a child ended by a signal as "Command terminated by
    // signal" and exits with 128 + the signal.
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.milliseconds < 10000, qPrintable(QString::number(result.milliseconds)));
    QFile peak(peakFile);
    QVERIFY(peak.open(QIODevice::ReadOnly));
    // After a line on the exit status when that is not 0.
    const qint64 peakKiB = peak.readAll().trimmed().split('\n').constLast().toLongLong();
    qInfo("%s: peak resident size %lld KiB, %lld ms", qPrintable(behaviour), peakKiB,
          result.milliseconds);
    QVERIFY2(peakKiB > 0 && peakKiB < 128 * 1024, qPrintable(QString::number(peakKiB)));
    QVERIFY2(log().contains(logged), qPrintable(log()));
}

void TestUpdaterProgram::consoleInstallsAfterYes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");
    QTest::newRow("english upper case") << QStringList{"-c"} << "Install now? [y/n] " << "Y\n";
    QTest::newRow("slovak") << QStringList{"-lsk", "-c"} << "Nainštalovať teraz? [a/n] " << "a\n";
}

void TestUpdaterProgram::consoleInstallsAfterYes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 10000000);
    publishRelease(package);
    QDir().mkpath(m_tree->downloadDirectory());
    QFile earlier(savedPackage(QStringLiteral("quillmark_1.1.0_amd64.deb")));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();

    const PtyRun result = runOnTerminal(arguments, {QJsonObject{{"expect", question}, {"send", answer}}});
    QVERIFY2(result.exitCode == 0, qPrintable(result.transcript));
    QVERIFY(result.transcript.contains(packageName + QStringLiteral("... [9/9] MB")));
    QCOMPARE(m_tree->recordedCalls(QStringLiteral("sudo")),
             (QStringList{QStringLiteral("gdebi"), QStringLiteral("--n"), savedPackage()}));
    QCOMPARE(m_tree->recordedCalls(QStringLiteral("gdebi")),
             (QStringList{QStringLiteral("--n"), savedPackage()}));
    QCOMPARE(QFileInfo(m_tree->receivedPackage()).size(), qint64(package.size()));
    QVERIFY(!QFileInfo::exists(savedPackage()));
    QVERIFY(!QFileInfo::exists(earlier.fileName()));
    QVERIFY(log().contains(QStringLiteral("ConsoleUpdater: Installation ended correctly")));
}

void TestUpdaterProgram::consoleAnswerNoAfterUnknownAnswer()
{
    publishRelease();
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "x\nN\n"}}});
    QVERIFY2(result.exitCode == 2, qPrintable(result.transcript));
    QCOMPARE(m_site->requestCount(packagePath), 0);
    QVERIFY(log().contains(QStringLiteral("Unknown answer to download installer: x")));
    // The question is not repeated.
    QCOMPARE(result.transcript.count(QStringLiteral("Install now?")), 1);
}

void TestUpdaterProgram::consoleInstallerFailure()
{
    publishRelease();
    m_tree->addInstallerStandIns(3);
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "y\n"}}});
    QVERIFY2(result.exitCode == 1, qPrintable(result.transcript));
    QCOMPARE(m_tree->recordedCalls(QStringLiteral("gdebi")).size(), 2);
    QVERIFY(!QFileInfo::exists(savedPackage()));
    QVERIFY(log().contains(QStringLiteral("Installation ended with exit code = 3")));
}

void TestUpdaterProgram::consoleInstallerThatCannotStart()
{
    publishRelease();
    // The "sh" found first on the path cannot be executed.
    QFile shell(m_tree->standInDirectory() + QStringLiteral("/sh"));
    QVERIFY(shell.open(QIODevice::WriteOnly));
    shell.write("#!/nonexistent/interpreter\n");
    shell.close();
    QVERIFY(shell.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "y\n"}}});
    QVERIFY2(result.exitCode == 1, qPrintable(result.transcript));
    QVERIFY2(result.transcript.contains(QStringLiteral("\r\nThe installer could not be started.\r\n")),
             qPrintable(result.transcript));
    QVERIFY(m_tree->recordedCalls(QStringLiteral("sudo")).isEmpty());
    QVERIFY(QFileInfo::exists(savedPackage()));
}

void TestUpdaterProgram::consoleQuotesHostileFileName()
{
    // The saved file takes its name from the address the package came from.
    const QString hostileName = QStringLiteral("quillmark 1.2.0;touch pwned;$(touch pwned2).deb");
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 5000);
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_site->serve(QStringLiteral("/pool/") + hostileName, package);
    m_site->redirect(QStringLiteral("/latest"),
                     m_site->url(QStringLiteral("/pool/") + QUrl::toPercentEncoding(hostileName)));
    m_site->serve(QStringLiteral("/latest.sig"), m_site->signatureHex(package));
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         m_site->url(versionPath),
                                                         m_site->url(QStringLiteral("/latest"))));
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "y\n"}}});
    QVERIFY2(result.exitCode == 0, qPrintable(result.transcript));
    QCOMPARE(m_tree->recordedCalls(QStringLiteral("gdebi")),
             (QStringList{QStringLiteral("--n"), savedPackage(hostileName)}));
    QVERIFY(!QFileInfo::exists(m_tree->root() + QStringLiteral("/pwned")));
    QVERIFY(!QFileInfo::exists(m_tree->root() + QStringLiteral("/pwned2")));
}

void TestUpdaterProgram::consoleProgressUnits_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<QString>("line");
    const QString start = QStringLiteral("\r") + QRegularExpression::escape(packageName + "... [");
    // A package is an ar archive, of even size.
    QTest::newRow("1022 bytes") << 1022 << false << start + "1022/1022\\] bytes";
    // Qt reports at most every 100 ms; the pieces come 60 ms apart.
    QTest::newRow("unknown total") << 5000 << true << start + "[0-9]+/-1\\] bytes";
}

void TestUpdaterProgram::consoleProgressUnits()
{
    QFETCH(int, size);
    QFETCH(bool, chunked);
    QFETCH(QString, line);
    const QString version = QStringLiteral("1.2.0");
    const int wrapping = UpdateSite::debianPackage(version, 0).size();
    const QByteArray package = UpdateSite::debianPackage(version, size - wrapping);
    QCOMPARE(package.size(), size);
    publishRelease(package);
    if (chunked)
        m_site->serveChunked(packagePath, package);
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "y\n"}}});
    QVERIFY2(result.exitCode == 0, qPrintable(result.transcript));
    QVERIFY2(result.transcript.contains(QRegularExpression(line)), qPrintable(result.transcript));
    // The version document's transfer shows no progress.
    QVERIFY(!result.transcript.contains(QStringLiteral("version.xml...")));
}

void TestUpdaterProgram::consoleReportsErrors_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("package unreachable") << "404" << "Downloading failed. Check your internet connection and try again later.";
    QTest::newRow("package tampered") << "tampered" << "The downloaded file could not be verified and was not used.";
    QTest::newRow("package cannot be saved") << "slash" << "The downloaded installer could not be saved.";
    // Streamed to disk up to the package limit, then refused.
    QTest::newRow("package without end") << "endless" << "Downloading failed. Check your internet connection and try again later.";
}

void TestUpdaterProgram::consoleReportsErrors()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    publishRelease();
    if (failure == QLatin1String("404")) {
        m_site->fail(packagePath, 404);
    } else if (failure == QLatin1String("tampered")) {
        m_site->serve(packagePath, QByteArray(2000, 'X'));
    } else if (failure == QLatin1String("endless")) {
        m_site->serveEndlessBody(packagePath);
    } else {
        m_site->publish(QStringLiteral("/pool/"), "package");
        m_tree->writeConfiguration(UpdateSite::configuration(
            QStringLiteral("1.1.0"), m_site->url(versionPath), m_site->url(QStringLiteral("/pool/"))));
    }
    const PtyRun result = runOnTerminal({QStringLiteral("-c")},
                                        {QJsonObject{{"expect", "[y/n] "}, {"send", "y\n"}}});
    QVERIFY2(result.exitCode == 1, qPrintable(result.transcript));
    QVERIFY2(result.transcript.contains(QStringLiteral("\r\n") + message + QStringLiteral("\r\n")),
             qPrintable(result.transcript));
    QVERIFY(m_tree->recordedCalls(QStringLiteral("sudo")).isEmpty());
}

void TestUpdaterProgram::consoleProxyPasswordIsNotEchoed()
{
    AuthProxy proxy(QStringLiteral("alice"), QStringLiteral("s3cret"), m_site->port());
    QVERIFY(proxy.start());
    const QProcessEnvironment extra = publishBehindProxy(proxy);
    const PtyRun result = runOnTerminal(
        {QStringLiteral("-c")},
        {QJsonObject{{"expect", "username: "}, {"send", "alice\n"}},
         QJsonObject{{"expect", "password: "}, {"send", "s3cret\n"}},
         QJsonObject{{"expect", "[y/n] "}, {"send", "n\n"}}},
        extra);
    QVERIFY2(result.exitCode == 2, qPrintable(result.transcript));
    QVERIFY(result.transcript.contains(QStringLiteral("The proxy server asks for your credentials.")));
    QCOMPARE(result.echo, (QList<bool>{true, false, true}));
    QVERIFY(result.transcript.contains(QStringLiteral("alice")));
    QVERIFY(!result.transcript.contains(QStringLiteral("s3cret")));
    QVERIFY(!log().contains(QStringLiteral("s3cret")));
}

void TestUpdaterProgram::graphicalRun_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("latest version, OK") << "1.2.0" << "Return" << 3;
    // OK on the offer downloads and verifies the package; the desktop
    // installer is not installed here, which the dialog reports as an error
    // (OK then ends with 1).
    QTest::newRow("offer, OK, no installer, OK") << "1.1.0" << "Return" << 1;
    // Escape closes the window as the error stage's OK would.
    QTest::newRow("no configuration, Escape") << "" << "Escape" << 1;
}

void TestUpdaterProgram::graphicalRun()
{
    QFETCH(QString, installed);
    QFETCH(QString, key);
    QFETCH(int, exitCode);
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xvfb-run and xdotool are needed to drive the real window");
    if (exitCode == 1 && QFileInfo::exists(QStringLiteral("/opt/varnek/quillmark/bin/gdebi-gtk.sh")))
        QSKIP("a real desktop installer is present");
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 4000);
    publishRelease(package, installed);
    if (installed.isEmpty())
        QVERIFY(QFile::remove(m_tree->root() + QStringLiteral("/etc/QuillmarkUpdater.conf")));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    extra.insert(QStringLiteral("GUIDRIVER_KEY"), key);
    QProcess process;
    process.setProcessEnvironment(environment(extra));
    process.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral(QUILLMARK_SOURCE_DIR "/tests/updater/guidriver.sh"),
                   m_tree->script(), QStringLiteral("-g")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), exitCode);
    const QString stages = log();
    if (key == QLatin1String("Escape")) {
        QVERIFY2(stages.contains(QStringLiteral("Window closed with stage number: 5")), qPrintable(stages));
        return;
    }
    QVERIFY(stages.contains(QStringLiteral("Button OK was clicked with stage number: ")
                            + QString::number(exitCode == 3 ? 3 : 5)));
    if (exitCode == 1) {
        QVERIFY(stages.contains(QStringLiteral("Button OK was clicked with stage number: 2")));
        QCOMPARE(QFileInfo(savedPackage()).size(), qint64(package.size()));
        QVERIFY(stages.contains(QStringLiteral("GuiUpdater error occured: The installer could not be started.")));
    }
}

QTEST_GUILESS_MAIN(TestUpdaterProgram)
#include "tst_updaterprogram.moc"
