#include "authproxy.h"
#include "fixturepaths.h"
#include "throwawayuser.h"
#include "updater.h"
#include "updatertree.h"
#include "updatesite.h"

#include <QAuthenticator>
#include <QSslConfiguration>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A front end that only records what the engine reports.
class RecordingUpdater : public Updater
{
    Q_OBJECT

public:
    QStringList events;
    QString proxyUser;
    QString proxyPassword;
    int proxyQuestions = 0;
    QList<QPair<qint64, qint64>> progress;

    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override
    {
        progress.append({bytesReceived, bytesTotal});
    }
    void authentication(const QNetworkProxy &, QAuthenticator *auth) override
    {
        ++proxyQuestions;
        auth->setUser(proxyUser);
        auth->setPassword(proxyPassword);
    }

signals:
    void reported();

protected:
    void newerVesion(const QString &version, const QString &url) override
    {
        record(QStringLiteral("newer %1 %2").arg(version, url));
    }
    void actualVersion() override { record(QStringLiteral("actual")); }
    void errorOccured(const QString &message) override { record(QStringLiteral("error ") + message); }
    void install() override { record(QStringLiteral("install ") + manager().dataLocation()); }

private:
    void record(const QString &event)
    {
        events.append(event);
        emit reported();
    }
};

const QString versionPath = QStringLiteral("/quillmark/version.xml");
const QString packagePath = QStringLiteral("/quillmark/quillmark_1.2.0_amd64.deb");
const QString website = QStringLiteral("https://quillmark.test/news");

} // namespace

class TestUpdaterCore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void versionCheckOutcome_data();
    void versionCheckOutcome();
    void unusableConfiguration();
    void versionDocumentFailures_data();
    void versionDocumentFailures();
    void signatureWithTrailingNewlineIsAccepted();
    void redirectsThatAreFollowed_data();
    void redirectsThatAreFollowed();
    void redirectsThatAreRefused_data();
    void redirectsThatAreRefused();
    void redirectLoopEnds();
    void packageIsVerifiedSavedAndHandedOver();
    void packageFailures_data();
    void packageFailures();
    void packageMustBeTheOffer_data();
    void packageMustBeTheOffer();
    void packageSwappedAfterVerificationIsRefused();
    void expiryOfTheVersionDocument_data();
    void expiryOfTheVersionDocument();
    void packageAddressEndingInSlashCannotBeSaved();
    void plantedDownloadDirectoryIsRefused();
    void otherUsersOldSharedFolderDecidesNothing();
    void hostileVersionServer_data();
    void hostileVersionServer();
    void hostilePackageServer_data();
    void hostilePackageServer();
    void silentServerMeetsTheShippedTimeout();
    void proxyCredentials_data();
    void proxyCredentials();
    void nothingReportedAfterFinish();

private:
    QString report(RecordingUpdater &updater, int timeout = 10000);
    // Runs the version check; once it offered a newer version, forgets what
    // was recorded and asks for the package.
    bool requestPackageAfterOffer(RecordingUpdater &updater);
    void configure(const QString &version, const QString &url, const QString &downloadUrl,
                   int transferTimeout = 0);
    // Gives path the hostile behaviour named in a data row.
    static void misbehave(UpdateSite &site, const QString &behaviour, const QString &path,
                          const QByteArray &body);

    std::unique_ptr<UpdaterTree> m_tree;
    std::unique_ptr<UpdateSite> m_http;
    std::unique_ptr<UpdateSite> m_https;
};

void TestUpdaterCore::initTestCase()
{
    // Trusting the development CA is the test's business: the updater uses
    // the platform's trust store unchanged.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.addCaCertificates(QSslCertificate::fromPath(UpdateServer::developmentCaPath()));
    QSslConfiguration::setDefaultConfiguration(ssl);
}

void TestUpdaterCore::init()
{
    m_tree = std::make_unique<UpdaterTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(QDir::setCurrent(m_tree->binDirectory()));
    qputenv("TMPDIR", QFile::encodeName(m_tree->temporaryDirectory()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_tree->runtimeDirectory()));
    m_http = std::make_unique<UpdateSite>(UpdateServer::Scheme::Http);
    m_https = std::make_unique<UpdateSite>(UpdateServer::Scheme::Https);
    QVERIFY(m_http->start());
    QVERIFY(m_https->start());
}

void TestUpdaterCore::cleanup()
{
    qunsetenv("http_proxy");
    m_http.reset();
    m_https.reset();
    QDir::setCurrent(QStringLiteral(QUILLMARK_BINARY_DIR));
    m_tree.reset();
}

QString TestUpdaterCore::report(RecordingUpdater &updater, int timeout)
{
    QSignalSpy reported(&updater, &RecordingUpdater::reported);
    if (updater.events.isEmpty() && !reported.wait(timeout))
        return QStringLiteral("(nothing reported)");
    // Nothing more may follow the first report.
    QTest::qWait(100);
    return updater.events.join(QLatin1Char('|'));
}

bool TestUpdaterCore::requestPackageAfterOffer(RecordingUpdater &updater)
{
    emit updater.checkVersion();
    if (!report(updater).startsWith(QStringLiteral("newer")))
        return false;
    updater.events.clear();
    updater.progress.clear();
    updater.requestPackage();
    return true;
}

void TestUpdaterCore::configure(const QString &version, const QString &url,
                                const QString &downloadUrl, int transferTimeout)
{
    m_tree->writeConfiguration(UpdateSite::configuration(version, url, downloadUrl, transferTimeout));
}

void TestUpdaterCore::misbehave(UpdateSite &site, const QString &behaviour, const QString &path,
                                const QByteArray &body)
{
    if (behaviour == QLatin1String("silent"))
        site.acceptSilently(path);
    else if (behaviour == QLatin1String("trickle"))
        site.servePaced(path, body, 1, 100); // ten bytes a second
    else if (behaviour == QLatin1String("stall"))
        site.stallMidBody(path, body);
    else if (behaviour == QLatin1String("endless"))
        site.serveEndlessBody(path);
    else if (behaviour == QLatin1String("gzip bomb"))
        site.serveGzipBomb(path, 8192); // 8 MiB on the wire, 8 GiB inflated
    else if (behaviour == QLatin1String("announced 1 GiB"))
        site.announceBody(path, qint64(1) << 30);
}

void TestUpdaterCore::versionCheckOutcome_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << "1.1.0" << "1.1.0" << false;
    QTest::newRow("one more component") << "1.1.0" << "1.1.0.1" << true;
    QTest::newRow("shorter installed") << "1.1" << "1.1.0" << true;
    QTest::newRow("older offered") << "1.2" << "1.1.9" << false;
}

void TestUpdaterCore::versionCheckOutcome()
{
    QFETCH(QString, installed);
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    m_https->publish(versionPath, UpdateSite::versionDocument(offered, website));
    configure(installed, m_https->url(versionPath), m_https->url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), newer ? QStringLiteral("newer %1 %2").arg(offered, website)
                                    : QStringLiteral("actual"));
    QCOMPARE(m_https->requestCount(versionPath + QStringLiteral(".sig")), 1);
    QCOMPARE(m_https->requestCount(packagePath), 0);
}

void TestUpdaterCore::unusableConfiguration()
{
    RecordingUpdater missing;
    emit missing.checkVersion();
    QCOMPARE(report(missing), QStringLiteral("error ConfigError"));

    m_tree->writeConfiguration("<Quillmark><url>x</url></Quillmark>");
    RecordingUpdater incomplete;
    emit incomplete.checkVersion();
    QCOMPARE(report(incomplete), QStringLiteral("error ConfigError"));
    QVERIFY(m_http->requestedPaths().isEmpty());
}

void TestUpdaterCore::versionDocumentFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expected");
    QTest::newRow("document missing") << "404" << "error DownloadingError";
    QTest::newRow("server error") << "500" << "error DownloadingError";
    QTest::newRow("connection cut") << "cut" << "error DownloadingError";
    QTest::newRow("signature missing") << "no signature" << "error DownloadingError";
    QTest::newRow("signature empty") << "empty signature" << "error VerificationFailed";
    QTest::newRow("signature of other file") << "other signature" << "error VerificationFailed";
    QTest::newRow("signature too short") << "short signature" << "error VerificationFailed";
    QTest::newRow("no website") << "no website" << "error ResponseError";
}

void TestUpdaterCore::versionDocumentFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, expected);
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("9.0"), website);
    const QString signaturePath = versionPath + QStringLiteral(".sig");
    m_https->publish(versionPath, document);
    if (failure == QLatin1String("404") || failure == QLatin1String("500"))
        m_https->fail(versionPath, failure.toInt());
    else if (failure == QLatin1String("cut"))
        m_https->cutConnection(versionPath, document);
    else if (failure == QLatin1String("no signature"))
        m_https->remove(signaturePath);
    else if (failure == QLatin1String("empty signature"))
        m_https->serve(signaturePath, "\n");
    else if (failure == QLatin1String("other signature"))
        m_https->serve(signaturePath, m_https->signatureHex("another document"));
    else if (failure == QLatin1String("short signature"))
        m_https->serve(signaturePath, m_https->signatureHex(document).left(510));
    else if (failure == QLatin1String("no website"))
        m_https->publish(versionPath, "<Quillmark><version>9.0</version></Quillmark>");
    configure(QStringLiteral("1.0"), m_https->url(versionPath), m_https->url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), expected);
}

void TestUpdaterCore::signatureWithTrailingNewlineIsAccepted()
{
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("2.0"), website);
    m_http->serve(versionPath, document);
    QByteArray wrapped = m_http->signatureHex(document);
    wrapped.insert(256, "\r\n ");
    m_http->serve(versionPath + QStringLiteral(".sig"), wrapped + "\n");
    configure(QStringLiteral("1.0"), m_http->url(versionPath), m_http->url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), QStringLiteral("newer 2.0 ") + website);
}

void TestUpdaterCore::redirectsThatAreFollowed_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("https to https") << "https" << "https";
    QTest::newRow("http to https") << "http" << "https";
    QTest::newRow("http to http") << "http" << "http";
    // Location: /mirror/v.xml, resolved against the address that gave it.
    QTest::newRow("relative address") << "https" << "relative";
}

void TestUpdaterCore::redirectsThatAreFollowed()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    UpdateSite &origin = from == QLatin1String("https") ? *m_https : *m_http;
    const bool relative = to == QLatin1String("relative");
    UpdateSite &mirror = to == QLatin1String("http") ? *m_http : *m_https;
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("3.0"), website);
    const QString mirrorPath = QStringLiteral("/mirror/v.xml");
    mirror.serve(mirrorPath, document);
    origin.redirect(versionPath, relative ? mirrorPath : mirror.url(mirrorPath), 301);
    // The signature stays at the configured address, itself one hop away.
    mirror.serve(QStringLiteral("/mirror/sig"), origin.signatureHex(document));
    origin.redirect(versionPath + QStringLiteral(".sig"), mirror.url(QStringLiteral("/mirror/sig")));
    configure(QStringLiteral("1.0"), origin.url(versionPath), origin.url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), QStringLiteral("newer 3.0 ") + website);
    QCOMPARE(mirror.requestCount(mirrorPath + QStringLiteral(".sig")), 0);
}

void TestUpdaterCore::redirectsThatAreRefused_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("ofSignature");
    for (const bool ofSignature : {false, true}) {
        const char *what = ofSignature ? "signature" : "document";
        QTest::addRow("%s: https to http", what) << "https"
                                                 << "http" << ofSignature;
        QTest::addRow("%s: https to file", what) << "https"
                                                 << "file" << ofSignature;
        QTest::addRow("%s: https to data", what) << "https"
                                                 << "data" << ofSignature;
        QTest::addRow("%s: http to file", what) << "http"
                                                << "file" << ofSignature;
        QTest::addRow("%s: http to data", what) << "http"
                                                << "data" << ofSignature;
    }
}

// Whatever the redirect points at holds a correctly signed copy: only the
// scheme decides.
void TestUpdaterCore::redirectsThatAreRefused()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, ofSignature);
    UpdateSite &origin = from == QLatin1String("https") ? *m_https : *m_http;
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("3.0"), website);
    const QByteArray redirected = ofSignature ? origin.signatureHex(document) : document;
    origin.publish(versionPath, document);
    const QString redirectedPath = ofSignature ? versionPath + QStringLiteral(".sig") : versionPath;
    QString target;
    if (to == QLatin1String("http")) {
        m_http->serve(redirectedPath, redirected);
        target = m_http->url(redirectedPath);
    } else if (to == QLatin1String("file")) {
        QFile copy(m_tree->root() + QStringLiteral("/redirected"));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(redirected) == redirected.size());
        target = QUrl::fromLocalFile(copy.fileName()).toString();
    } else {
        target = QStringLiteral("data:application/octet-stream;base64,")
                 + QString::fromLatin1(redirected.toBase64());
    }
    origin.redirect(redirectedPath, target);
    configure(QStringLiteral("1.0"), origin.url(versionPath), origin.url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), QStringLiteral("error DownloadingError"));
    if (&origin != m_http.get())
        QVERIFY(m_http->requestedPaths().isEmpty());
}

void TestUpdaterCore::redirectLoopEnds()
{
    m_http->redirect(QStringLiteral("/a"), m_http->url(QStringLiteral("/b")));
    m_http->redirect(QStringLiteral("/b"), m_http->url(QStringLiteral("/a")));
    configure(QStringLiteral("1.0"), m_http->url(QStringLiteral("/a")), m_http->url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), QStringLiteral("error DownloadingError"));
    QCOMPARE(m_http->requestedPaths().size(), DownloadManager::maximumRedirects + 1);
}

void TestUpdaterCore::packageIsVerifiedSavedAndHandedOver()
{
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 300000);
    m_https->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_https->publish(packagePath, package);
    // Redirected to a mirror with another file name: the saved file takes
    // the name it finally came from, the signature the configured address.
    m_https->redirect(QStringLiteral("/latest.deb"), m_https->url(packagePath));
    m_https->serve(QStringLiteral("/latest.deb.sig"), m_https->signatureHex(package));
    configure(QStringLiteral("1.1.0"), m_https->url(versionPath), m_https->url("/latest.deb"));
    const QString downloads = m_tree->downloadDirectory();
    QVERIFY(QDir().mkpath(downloads));
    QFile earlier(downloads + QStringLiteral("/quillmark_1.0.0_amd64.deb"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();

    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    const QString saved = downloads + QStringLiteral("/quillmark_1.2.0_amd64.deb");
    QCOMPARE(report(updater), QStringLiteral("install ") + saved);
    QCOMPARE(m_https->requestCount(QStringLiteral("/latest.deb.sig")), 1);
    QCOMPARE(m_https->requestCount(packagePath + QStringLiteral(".sig")), 0);
    QCOMPARE(QDir(downloads).entryList(QDir::Files), QStringList{QFileInfo(saved).fileName()});
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), package);
    QCOMPARE(updater.progress.constLast(), qMakePair(qint64(512), qint64(512)));
    QVERIFY(updater.progress.contains(qMakePair(qint64(package.size()), qint64(package.size()))));
    QVERIFY(updater.manager().downloadedData().isEmpty());
}

void TestUpdaterCore::packageFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expected");
    QTest::newRow("package missing") << "404" << "error DownloadingError";
    QTest::newRow("package signature of version document") << "swapped" << "error VerificationFailed";
    QTest::newRow("package cut") << "cut" << "error DownloadingError";
}

void TestUpdaterCore::packageFailures()
{
    QFETCH(QString, failure);
    QFETCH(QString, expected);
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 20000);
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("1.2.0"), website);
    m_http->publish(versionPath, document);
    m_http->publish(packagePath, package);
    if (failure == QLatin1String("404"))
        m_http->fail(packagePath, 404);
    else if (failure == QLatin1String("swapped"))
        m_http->serve(packagePath + QStringLiteral(".sig"), m_http->signatureHex(document));
    else
        m_http->cutConnection(packagePath, package);
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(packagePath));
    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    QCOMPARE(report(updater), expected);
    QVERIFY(!QFileInfo::exists(m_tree->downloadDirectory() + QStringLiteral("/quillmark_1.2.0_amd64.deb")));
}

void TestUpdaterCore::packageMustBeTheOffer_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("packaged");
    QTest::addColumn<bool>("installs");
    QTest::newRow("the offer") << "1.0.8"
                               << "1.0.9"
                               << "1.0.9" << true;
    QTest::newRow("older release, signed") << "1.0.8"
                                           << "1.0.9"
                                           << "1.0.7" << false;
    QTest::newRow("installed release again") << "1.0.8"
                                             << "1.0.9"
                                             << "1.0.8" << false;
    QTest::newRow("other than offered") << "1.0.8"
                                        << "1.0.9"
                                        << "1.1.0" << false;
    QTest::newRow("longer version") << "1.0.8"
                                    << "1.0.9"
                                    << "1.0.9.0" << false;
    QTest::newRow("Debian revision") << "1.0.8"
                                     << "1.0.9"
                                     << "1.0.9-1" << false;
    QTest::newRow("no package at all") << "1.0.8"
                                       << "1.0.9"
                                       << "" << false;
}

// Every package here is correctly signed with the release key: the
// signature alone cannot tell which release it is.
void TestUpdaterCore::packageMustBeTheOffer()
{
    QFETCH(QString, installed);
    QFETCH(QString, offered);
    QFETCH(QString, packaged);
    QFETCH(bool, installs);
    m_https->publish(versionPath, UpdateSite::versionDocument(offered, website));
    m_https->publish(packagePath, packaged.isEmpty() ? QByteArray(20000, 'n')
                                                     : UpdateSite::debianPackage(packaged));
    configure(installed, m_https->url(versionPath), m_https->url(packagePath));
    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    const QString saved =
        m_tree->downloadDirectory() + QStringLiteral("/quillmark_1.2.0_amd64.deb");
    QCOMPARE(report(updater), installs ? QStringLiteral("install ") + saved
                                       : QStringLiteral("error VerificationFailed"));
    QCOMPARE(QFileInfo::exists(saved), installs);
}

void TestUpdaterCore::packageSwappedAfterVerificationIsRefused()
{
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"));
    m_http->publish(packagePath, package);
    DownloadManager manager;
    QSignalSpy finished(&manager, &DownloadManager::downloadDataFinished);
    QSignalSpy verified(&manager, &DownloadManager::dataVerified);
    QVERIFY(manager.prepareDownloadFile());
    manager.sendHttpRequest(QUrl(m_http->url(packagePath)), DownloadManager::Package);
    QVERIFY(finished.wait());
    manager.sendHttpRequest(QUrl(m_http->url(packagePath + QStringLiteral(".sig"))),
                            DownloadManager::Signature);
    QVERIFY(verified.wait());
    QVERIFY(manager.saveFile());
    QVERIFY(manager.savedPackageUnchanged());

    // Another correctly signed release put in its place by a process of
    // the user.
    QFile saved(manager.dataLocation());
    QVERIFY(saved.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(saved.write(UpdateSite::debianPackage(QStringLiteral("1.1.0"))) > 0);
    saved.close();
    QVERIFY(!manager.savedPackageUnchanged());
}

void TestUpdaterCore::expiryOfTheVersionDocument_data()
{
    QTest::addColumn<QString>("expiry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("expired a minute ago") << "-60"
                                          << "error DownloadingError";
    QTest::newRow("expired a year ago") << "-31536000"
                                        << "error DownloadingError";
    QTest::newRow("expires in a day") << "86400"
                                      << "newer 3.0 " + website;
    QTest::newRow("none: still accepted") << ""
                                          << "newer 3.0 " + website;
    QTest::newRow("unreadable") << "soon"
                                << "error DownloadingError";
    QTest::newRow("local time") << "2999-01-01T00:00:00"
                                << "error DownloadingError";
}

// A replayed old document, correctly signed, would otherwise hide every
// newer release for ever.
void TestUpdaterCore::expiryOfTheVersionDocument()
{
    QFETCH(QString, expiry);
    QFETCH(QString, expected);
    bool isOffset = false;
    const qint64 offset = expiry.toLongLong(&isOffset);
    QByteArray document = UpdateSite::versionDocument(
        QStringLiteral("3.0"), website,
        isOffset ? QDateTime::currentDateTimeUtc().addSecs(offset) : QDateTime());
    if (!isOffset && !expiry.isEmpty())
        document.replace("</Quillmark>", "<expires>" + expiry.toUtf8() + "</expires></Quillmark>");
    m_https->publish(versionPath, document);
    configure(QStringLiteral("1.0"), m_https->url(versionPath), m_https->url(packagePath));
    RecordingUpdater updater;
    emit updater.checkVersion();
    QCOMPARE(report(updater), expected);
}

void TestUpdaterCore::packageAddressEndingInSlashCannotBeSaved()
{
    const QString directoryPath = QStringLiteral("/quillmark/latest/");
    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_http->publish(directoryPath, "package behind a directory address");
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(directoryPath));
    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    QCOMPARE(report(updater), QStringLiteral("error SaveError"));
    QVERIFY(QDir(m_tree->downloadDirectory()).isEmpty());
}

void TestUpdaterCore::plantedDownloadDirectoryIsRefused()
{
    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_http->publish(packagePath, "verified package");
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(packagePath));
    // A link in place of the directory, to a directory the link's maker
    // can reach.
    const QString planted = m_tree->root() + QStringLiteral("/planted");
    QVERIFY(QDir().mkpath(planted));
    QVERIFY(QFile::link(planted, m_tree->downloadDirectory()));

    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    QCOMPARE(report(updater), QStringLiteral("error SaveError"));
    QVERIFY(QDir(planted).isEmpty());
}

// Another user of the machine made the folder that every user's downloads
// once shared; before, every download of this user then failed.
void TestUpdaterCore::otherUsersOldSharedFolderDecidesNothing()
{
    if (::geteuid() != 0)
        QSKIP("making another user needs root");
    ThrowAwayUser other;
    QVERIFY(other.isValid());
    QTemporaryDir shared(QStringLiteral("/tmp/quillmark-shared-XXXXXX"));
    QVERIFY(shared.isValid());
    QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    qputenv("TMPDIR", QFile::encodeName(shared.path()));
    QVERIFY(
        other.run({QStringLiteral("mkdir"), QStringLiteral("-p"), QStringLiteral("-m"),
                   QStringLiteral("0700"), shared.filePath(QStringLiteral("varnek/quillmark"))}));

    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_http->publish(packagePath, UpdateSite::debianPackage(QStringLiteral("1.2.0")));
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(packagePath));
    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    QCOMPARE(report(updater), QStringLiteral("install ") + m_tree->downloadDirectory()
                                  + QStringLiteral("/quillmark_1.2.0_amd64.deb"));
}

void TestUpdaterCore::hostileVersionServer_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("onSignature");
    for (const char *behaviour : {"silent", "trickle", "stall", "endless", "gzip bomb", "announced 1 GiB"})
        QTest::newRow(behaviour) << behaviour << false;
    QTest::newRow("silent signature") << "silent" << true;
    QTest::newRow("endless signature") << "endless" << true;
    QTest::newRow("gzip bomb signature") << "gzip bomb" << true;
}

// Every way a server can keep the check from ending, or flood it, ends in
// the download error within a few seconds of the configured one-second
// timeout.
void TestUpdaterCore::hostileVersionServer()
{
    QFETCH(QString, behaviour);
    QFETCH(bool, onSignature);
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("9.0"), website);
    m_http->publish(versionPath, document);
    misbehave(*m_http, behaviour, onSignature ? versionPath + QStringLiteral(".sig") : versionPath,
              onSignature ? m_http->signatureHex(document) : document);
    configure(QStringLiteral("1.0"), m_http->url(versionPath), m_http->url(packagePath), 1);
    RecordingUpdater updater;
    QElapsedTimer clock;
    clock.start();
    emit updater.checkVersion();
    QCOMPARE(report(updater), QStringLiteral("error DownloadingError"));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestUpdaterCore::hostilePackageServer_data()
{
    QTest::addColumn<QString>("behaviour");
    for (const char *behaviour : {"stall", "endless", "gzip bomb", "announced 1 GiB"})
        QTest::newRow(behaviour) << behaviour;
}

void TestUpdaterCore::hostilePackageServer()
{
    QFETCH(QString, behaviour);
    const QByteArray package(20000, 'h');
    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_http->publish(packagePath, package);
    misbehave(*m_http, behaviour, packagePath, package);
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(packagePath), 1);
    RecordingUpdater updater;
    QVERIFY(requestPackageAfterOffer(updater));
    // The endless body is streamed to disk up to the package limit first.
    QCOMPARE(report(updater, 60000), QStringLiteral("error DownloadingError"));
    QCOMPARE(m_http->requestCount(packagePath + QStringLiteral(".sig")), 0);
    // Nothing of the refused transfer stays behind.
    QCOMPARE(QDir(m_tree->downloadDirectory()).entryList(QDir::Files), QStringList());
}

void TestUpdaterCore::silentServerMeetsTheShippedTimeout()
{
    m_http->acceptSilently(versionPath);
    configure(QStringLiteral("1.0"), m_http->url(versionPath), m_http->url(packagePath));
    RecordingUpdater updater;
    QElapsedTimer clock;
    clock.start();
    emit updater.checkVersion();
    QCOMPARE(report(updater, 90000), QStringLiteral("error DownloadingError"));
    QVERIFY2(clock.elapsed() >= 29000 && clock.elapsed() < 45000,
             qPrintable(QString::number(clock.elapsed())));
}

void TestUpdaterCore::proxyCredentials_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << "s3cret" << true;
    QTest::newRow("wrong") << "guess" << false;
}

void TestUpdaterCore::proxyCredentials()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    AuthProxy proxy(QStringLiteral("alice"), QStringLiteral("s3cret"), m_http->port());
    QVERIFY(proxy.start());
    qputenv("http_proxy", proxy.address().toUtf8());
    // A name that never resolves: only the proxy can reach it.
    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.5"), website));
    configure(QStringLiteral("1.0"), AuthProxy::hiddenSite() + versionPath,
              AuthProxy::hiddenSite() + packagePath);
    RecordingUpdater updater;
    updater.proxyUser = QStringLiteral("alice");
    updater.proxyPassword = password;
    emit updater.checkVersion();
    if (!accepted) {
        QCOMPARE(report(updater), QStringLiteral("error DownloadingError"));
        QVERIFY(proxy.requestsSeen() >= 1);
        QVERIFY(m_http->requestedPaths().isEmpty());
        return;
    }
    QCOMPARE(report(updater), QStringLiteral("newer 1.5 ") + website);
    QVERIFY(updater.proxyQuestions >= 1);
    QVERIFY(proxy.requestsSeen() >= 2);
    QCOMPARE(m_http->requestCount(versionPath + QStringLiteral(".sig")), 1);
}

class FinishingUpdater : public RecordingUpdater
{
public:
    using Updater::finish;
};

void TestUpdaterCore::nothingReportedAfterFinish()
{
    m_http->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_http->servePaced(packagePath, QByteArray(40000, 'z'), 4000, 50);
    m_http->serve(packagePath + QStringLiteral(".sig"), m_http->signatureHex(QByteArray(40000, 'z')));
    configure(QStringLiteral("1.1.0"), m_http->url(versionPath), m_http->url(packagePath));
    FinishingUpdater updater;
    QSignalSpy finished(&updater, &Updater::finished);
    QVERIFY(requestPackageAfterOffer(updater));
    QTRY_VERIFY(!updater.progress.isEmpty());
    updater.finish(2);
    updater.finish(4);
    QTest::qWait(800);
    QVERIFY(updater.events.isEmpty());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.constFirst().constFirst().toInt(), 2);
    QCOMPARE(updater.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TestUpdaterCore)
#include "tst_updatercore.moc"
