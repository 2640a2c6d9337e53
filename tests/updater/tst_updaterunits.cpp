#include "configuration.h"
#include "consoleupdater.h"
#include "dgst.h"
#include "httpresponse.h"
#include "packagecontrol.h"
#include "privatedirectory.h"
#include "releasesigner.h"
#include "transfersize.h"
#include "version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestUpdaterUnits : public QObject
{
    Q_OBJECT

private slots:
    void versionParsingAndFormatting_data();
    void versionParsingAndFormatting();
    void versionOrdering_data();
    void versionOrdering();
    void configurationReading();
    void configurationFailures_data();
    void configurationFailures();
    void administratorAddressesTakeThePackagesPlace_data();
    void administratorAddressesTakeThePackagesPlace();
    void versionDocument();
    void signatureVerification();
    void releaseKeyIsRsa2048();
    void signatureFromTheOpensslTool();
    void transferUnits_data();
    void transferUnits();
    void progressLineKeepsTheTerminalIntact();
    void installerCommandQuotesOnlyWhenNeeded_data();
    void installerCommandQuotesOnlyWhenNeeded();
    void installerCommandSurvivesTheShell();
    void privateDirectoryIsFreshAndClosed();
    void privateDirectoryRefusesUnsafePlaces();
    void packageControlAsDpkgDebWritesIt_data();
    void packageControlAsDpkgDebWritesIt();

private:
    ReleaseSigner m_signer;
};

void TestUpdaterUnits::versionParsingAndFormatting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("components");
    QTest::addColumn<QString>("six");
    QTest::newRow("plain") << "1.2.3" << QList<int>{1, 2, 3} << "1.2.3.0.0.0";
    QTest::newRow("empty part") << "1..3" << QList<int>{1, 0, 3} << "1.0.3.0.0.0";
    QTest::newRow("words") << "1.beta.7" << QList<int>{1, 0, 7} << "1.0.7.0.0.0";
    QTest::newRow("empty text") << "" << QList<int>{0} << "0.0.0.0.0.0";
    QTest::newRow("long") << "1.2.3.4.5.6.7" << QList<int>{1, 2, 3, 4, 5, 6, 7} << "1.2.3.4.5.6";
}

void TestUpdaterUnits::versionParsingAndFormatting()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, components);
    QFETCH(QString, six);
    const Version version(text);
    QCOMPARE(version.components(), components);
    QCOMPARE(version.toString(6), six);
    QCOMPARE(Version(version.toString()).components(), components);
}

void TestUpdaterUnits::versionOrdering_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << "1.1.0" << "1.1.0" << false;
    QTest::newRow("fourth component") << "1.1.0" << "1.1.0.1" << true;
    QTest::newRow("prefix is smaller") << "1.1" << "1.1.0" << true;
    QTest::newRow("longer is not smaller") << "1.1.0" << "1.1" << false;
    QTest::newRow("numeric not textual") << "1.2.9" << "1.10" << true;
    QTest::newRow("older offer") << "2.0" << "1.9.9" << false;
    QTest::newRow("default installed") << "0.0.0" << "0.0.1" << true;
}

void TestUpdaterUnits::versionOrdering()
{
    QFETCH(QString, installed);
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    QCOMPARE(Version(installed) < Version(offered), newer);
}

void TestUpdaterUnits::configurationReading()
{
    Configuration configuration;
    QVERIFY(configuration.deserialize(QStringLiteral(
        "<?xml version=\"1.0\"?><Quillmark><unknown>x</unknown><url>\n  https://u.test/v.xml \n</url>"
        "<downloadUrl> https://u.test/p.deb</downloadUrl></Quillmark><version>9.9</version>")));
    QCOMPARE(configuration.url(), QStringLiteral("https://u.test/v.xml"));
    QCOMPARE(configuration.downloadUrl(), QStringLiteral("https://u.test/p.deb"));
    // No version before the end of the Quillmark element: the default stays.
    QCOMPARE(configuration.version().toString(), QStringLiteral("0.0.0"));

    QVERIFY(configuration.deserialize(QStringLiteral(
        "<Quillmark><version> 1.0.7 </version><url>a</url><downloadUrl>b</downloadUrl></Quillmark>")));
    QCOMPARE(configuration.version().toString(), QStringLiteral("1.0.7"));
    QCOMPARE(configuration.transferTimeout(), Configuration::defaultTransferTimeout);

    // The administrator's transfer timeout, within 1 to 600 seconds.
    const QString timed = QStringLiteral(
        "<Quillmark><url>a</url><downloadUrl>b</downloadUrl><transferTimeout>%1</transferTimeout></Quillmark>");
    const QList<QPair<QString, int>> timeouts{
        {"5", 5}, {"600", 600}, {"601", 30}, {"0", 30}, {"-3", 30}, {"soon", 30}};
    for (const auto &timeout : timeouts) {
        QVERIFY(configuration.deserialize(timed.arg(timeout.first)));
        QCOMPARE(configuration.transferTimeout(), timeout.second);
    }
}

void TestUpdaterUnits::configurationFailures_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no url") << "<Quillmark><downloadUrl>b</downloadUrl></Quillmark>";
    QTest::newRow("no download url") << "<Quillmark><url>a</url></Quillmark>";
    QTest::newRow("blank url") << "<Quillmark><url>  </url><downloadUrl>b</downloadUrl></Quillmark>";
    QTest::newRow("case matters") << "<Quillmark><URL>a</URL><downloadUrl>b</downloadUrl></Quillmark>";
    QTest::newRow("not xml") << "url=a downloadUrl=b";
}

void TestUpdaterUnits::configurationFailures()
{
    QFETCH(QString, text);
    Configuration configuration;
    QVERIFY(!configuration.deserialize(text));
}

void TestUpdaterUnits::administratorAddressesTakeThePackagesPlace_data()
{
    QTest::addColumn<QByteArray>("system");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("downloadUrl");
    const QString packageUrl = QStringLiteral("https://package.test/v.xml");
    const QString packageDownload = QStringLiteral("https://package.test/p.deb");
    QTest::newRow("no system file") << QByteArray() << true << packageUrl << packageDownload;
    // The version stays the package's even where the administrator's file
    // names one: after an upgrade the same version must not be offered again.
    QTest::newRow("both addresses")
        << QByteArray("<Quillmark><version>0.1</version><url>https://admin.test/v.xml</url>"
                      "<downloadUrl>https://admin.test/p.deb</downloadUrl>"
                      "<transferTimeout>120</transferTimeout></Quillmark>")
        << true << "https://admin.test/v.xml" << "https://admin.test/p.deb";
    QTest::newRow("only one address")
        << QByteArray("<Quillmark><url>https://admin.test/v.xml</url></Quillmark>") << false
        << QString() << QString();
    QTest::newRow("not xml") << QByteArray("url=https://admin.test/v.xml") << false << QString()
                             << QString();
}

void TestUpdaterUnits::administratorAddressesTakeThePackagesPlace()
{
    QFETCH(QByteArray, system);
    QFETCH(bool, read);
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("etc")));
    QFile packaged(tree.filePath(QStringLiteral("etc/QuillmarkUpdater.conf")));
    QVERIFY(packaged.open(QIODevice::WriteOnly));
    packaged.write("<Quillmark><version>1.0.8</version><url>https://package.test/v.xml</url>"
                   "<downloadUrl>https://package.test/p.deb</downloadUrl>"
                   "<transferTimeout>45</transferTimeout></Quillmark>");
    packaged.close();
    const QString systemPath = tree.filePath(QStringLiteral("system.conf"));
    if (!system.isNull()) {
        QFile file(systemPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(system);
    }
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tree.filePath(QStringLiteral("bin"))));
    Configuration configuration(systemPath);
    const bool wasRead = configuration.readConfig();
    QDir::setCurrent(previous);
    QCOMPARE(wasRead, read);
    if (!read)
        return;
    QCOMPARE(configuration.version().toString(), QStringLiteral("1.0.8"));
    QTEST(configuration.url(), "url");
    QTEST(configuration.downloadUrl(), "downloadUrl");
    QCOMPARE(configuration.transferTimeout(), system.isNull() ? 45 : 120);
}

void TestUpdaterUnits::versionDocument()
{
    HttpResponse response;
    QVERIFY(response.deserializeXml(
        "<Quillmark><version>1.2.3</version><url> https://site.test/news </url></Quillmark>"));
    QCOMPARE(response.version().toString(), QStringLiteral("1.2.3"));
    QCOMPARE(response.url(), QStringLiteral("https://site.test/news"));
    QVERIFY(!response.deserializeXml("<Quillmark><version>1.2.3</version></Quillmark>"));
}

void TestUpdaterUnits::signatureVerification()
{
    QVERIFY2(m_signer.isValid(), qPrintable(m_signer.errorString()));
    const dgst verifier;
    const QByteArray data("package bytes\n");
    const QByteArray signature = m_signer.signature(data);
    QCOMPARE(signature.size(), 256);
    QVERIFY(verifier.verify(data, signature));
    QVERIFY(verifier.verify(QByteArray(), m_signer.signature(QByteArray())));

    QVERIFY(!verifier.verify(data + "x", signature));
    QVERIFY(!verifier.verify(data, m_signer.signature("another file")));
    QVERIFY(!verifier.verify(data, QByteArray()));
    QVERIFY(!verifier.verify(data, signature.left(255)));
    QVERIFY(!verifier.verify(data, signature + '\0'));
    QByteArray flipped = signature;
    flipped[100] = static_cast<char>(flipped[100] ^ 0x01);
    QVERIFY(!verifier.verify(data, flipped));

    QVERIFY(!dgst("not a key").verify(data, signature));
    QVERIFY(dgst("not a key").getCdnPublicKey() == nullptr);
}

void TestUpdaterUnits::releaseKeyIsRsa2048()
{
    const EvpPkeyPtr key = dgst().getCdnPublicKey();
    QVERIFY(key);
    QCOMPARE(EVP_PKEY_get_base_id(key.get()), EVP_PKEY_RSA);
    QCOMPARE(EVP_PKEY_get_bits(key.get()), 2048);
}

void TestUpdaterUnits::signatureFromTheOpensslTool()
{
    // A release signed with the stock tool, not with our own signer, must
    // verify: the scheme is plain RSA PKCS #1 v1.5 over SHA-256.
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("release.deb"));
    QFile release(file);
    QVERIFY(release.open(QIODevice::WriteOnly));
    release.write(QByteArray(70000, 'r'));
    release.close();
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-sign"),
                   ReleaseSigner::developmentKeyPath(), file});
    QVERIFY(openssl.waitForFinished());
    QCOMPARE(openssl.exitCode(), 0);
    const QByteArray signature = openssl.readAllStandardOutput();
    QCOMPARE(signature, m_signer.signature(QByteArray(70000, 'r')));
    QVERIFY(dgst().verify(QByteArray(70000, 'r'), signature));
}

void TestUpdaterUnits::transferUnits_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("line");
    QTest::newRow("two steps") << qint64(5000000) << qint64(10000000) << "\rq.deb... [4/9] MB";
    QTest::newRow("under a kilobyte") << qint64(1000) << qint64(1023) << "\rq.deb... [1000/1023] bytes";
    QTest::newRow("exactly a kilobyte") << qint64(512) << qint64(1024) << "\rq.deb... [0/1] KB";
    QTest::newRow("unknown total") << qint64(5000000) << qint64(-1) << "\rq.deb... [5000000/-1] bytes";
    QTest::newRow("no larger unit than GB")
        << qint64(0) << qint64(5) * 1024 * 1024 * 1024 * 1024 << "\rq.deb... [0/5120] GB";
}

void TestUpdaterUnits::transferUnits()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(QString, line);
    QCOMPARE(ConsoleUpdater::progressLine(QStringLiteral("q.deb"), received, total), line);
}

void TestUpdaterUnits::progressLineKeepsTheTerminalIntact()
{
    // A name from a redirect that would retitle the terminal, clear the
    // line and reverse the text after it.
    const QString name = QStringLiteral("\x1b]0;owned\x07q\r\x1b[2Kx\u202e.deb");
    QCOMPARE(ConsoleUpdater::progressLine(name, 1, 2),
             QStringLiteral("\r?]0;owned?q??[2Kx?.deb... [1/2] bytes"));
}

void TestUpdaterUnits::installerCommandQuotesOnlyWhenNeeded_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("command");
    QTest::newRow("ordinary") << "/tmp/varnek/quillmark/quillmark_1.1.0-2+deb12_amd64.deb"
                              << "sudo gdebi --n /tmp/varnek/quillmark/quillmark_1.1.0-2+deb12_amd64.deb";
    QTest::newRow("blank") << "/tmp/q q.deb" << "sudo gdebi --n '/tmp/q q.deb'";
    QTest::newRow("injection") << "/tmp/a;rm -rf ~.deb" << "sudo gdebi --n '/tmp/a;rm -rf ~.deb'";
    QTest::newRow("quote") << "/tmp/it's.deb" << "sudo gdebi --n '/tmp/it'\\''s.deb'";
}

void TestUpdaterUnits::installerCommandQuotesOnlyWhenNeeded()
{
    QFETCH(QString, path);
    QFETCH(QString, command);
    QCOMPARE(ConsoleUpdater::installCommand(path), command);
}

void TestUpdaterUnits::installerCommandSurvivesTheShell()
{
    // Whatever the name, the shell must hand over exactly one argument that
    // equals it.
    const QString hostile = QStringLiteral("/tmp/x $(touch pwned) `id` \"q\" 'r' ;|&<>*?\\ \n\t.deb");
    QProcess shell;
    shell.start(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("printf '%s\\0' ") + ConsoleUpdater::shellQuoted(hostile)});
    QVERIFY(shell.waitForFinished());
    QCOMPARE(shell.readAllStandardOutput(), hostile.toUtf8() + '\0');
}

void TestUpdaterUnits::privateDirectoryIsFreshAndClosed()
{
    QTemporaryDir temporary;
    const QString directory = temporary.filePath(QStringLiteral("varnek/quillmark"));
    QVERIFY(PrivateDirectory::prepareEmpty(directory));
    QFile earlier(directory + QStringLiteral("/old.deb"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    QVERIFY(QDir(directory).mkpath(QStringLiteral("nested/deeper")));

    QVERIFY(PrivateDirectory::prepareEmpty(directory));
    QVERIFY(QDir(directory).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    struct stat status;
    QCOMPARE(::lstat(QFile::encodeName(directory).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, 0700u);
    QCOMPARE(::lstat(QFile::encodeName(temporary.filePath(QStringLiteral("varnek"))).constData(),
                     &status),
             0);
    QCOMPARE(status.st_mode & 0777, 0700u);
}

void TestUpdaterUnits::privateDirectoryRefusesUnsafePlaces()
{
    QTemporaryDir temporary;
    const QString parent = temporary.filePath(QStringLiteral("varnek"));
    const QString directory = parent + QStringLiteral("/quillmark");
    const QString elsewhere = temporary.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));

    // A link planted where the directory goes.
    QVERIFY(QDir().mkpath(parent));
    QVERIFY(QFile::link(elsewhere, directory));
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QVERIFY(QFileInfo(directory).isSymLink());
    QVERIFY(QFile::remove(directory));

    // The parent itself a link.
    QVERIFY(QDir(parent).removeRecursively());
    QVERIFY(QFile::link(elsewhere, parent));
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QVERIFY(QDir(elsewhere).isEmpty());
    QVERIFY(QFile::remove(parent));

    // Writable by others, parent or directory.
    QVERIFY(QDir().mkpath(directory));
    QCOMPARE(::chmod(QFile::encodeName(parent).constData(), 0777), 0);
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QCOMPARE(::chmod(QFile::encodeName(parent).constData(), 0700), 0);
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), 0773), 0);
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), 0700), 0);
    QVERIFY(PrivateDirectory::prepareEmpty(directory));

    // Owned by another user.
    if (::geteuid() != 0)
        QSKIP("changing the owner needs root");
    QCOMPARE(::chown(QFile::encodeName(directory).constData(), 65534, 65534), 0);
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QCOMPARE(::chown(QFile::encodeName(directory).constData(), 0, 0), 0);
    QCOMPARE(::chown(QFile::encodeName(parent).constData(), 65534, 65534), 0);
    QVERIFY(!PrivateDirectory::prepareEmpty(directory));
    QCOMPARE(::chown(QFile::encodeName(parent).constData(), 0, 0), 0);
}

void TestUpdaterUnits::packageControlAsDpkgDebWritesIt_data()
{
    QTest::addColumn<QString>("compression");
    QTest::addColumn<int>("extraControlBytes");
    QTest::addColumn<QString>("version");
    for (const char *compression : {"gzip", "xz", "zstd", "none"})
        QTest::newRow(compression) << compression << 0 << "1.2.3";
    // Beyond what the control member may unpack to, though it compresses
    // to almost nothing.
    QTest::newRow("control data of 5 MiB") << "gzip" << 5 * 1024 * 1024 << "";
}

// The packages dpkg-deb builds (CPack writes the gzip form).
void TestUpdaterUnits::packageControlAsDpkgDebWritesIt()
{
    QFETCH(QString, compression);
    QFETCH(int, extraControlBytes);
    QFETCH(QString, version);
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("tree/DEBIAN")));
    QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("tree/opt/quillmark")));
    QFile control(scratch.filePath(QStringLiteral("tree/DEBIAN/control")));
    QVERIFY(control.open(QIODevice::WriteOnly));
    control.write("Package: quillmark\nVersion: 1.2.3\nArchitecture: amd64\n"
                  "Maintainer: Varnek <quillmark@varnek.eu>\nDescription: test\n");
    control.close();
    if (extraControlBytes > 0) {
        // Sorted before ./control in the member.
        QFile extra(scratch.filePath(QStringLiteral("tree/DEBIAN/config")));
        QVERIFY(extra.open(QIODevice::WriteOnly));
        extra.write("#!/bin/sh\n" + QByteArray(extraControlBytes, '#'));
        extra.close();
        QVERIFY(extra.setPermissions(extra.permissions() | QFile::ExeOwner | QFile::ExeGroup
                                     | QFile::ExeOther));
    }
    const QString package = scratch.filePath(QStringLiteral("quillmark.deb"));
    QProcess build;
    build.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    build.start(QStringLiteral("dpkg-deb"),
                {QStringLiteral("--root-owner-group"), QStringLiteral("-Z") + compression,
                 QStringLiteral("--build"), scratch.filePath(QStringLiteral("tree")), package});
    QVERIFY(build.waitForFinished(60000) && build.exitCode() == 0);
    const std::optional<QString> found = PackageControl::version(package);
    QCOMPARE(found.value_or(QString()), version);
}

QTEST_GUILESS_MAIN(TestUpdaterUnits)
#include "tst_updaterunits.moc"
