#include "authenticationform.h"
#include "authproxy.h"
#include "fixturepaths.h"
#include "guiupdater.h"
#include "updaterdialog.h"
#include "updatertree.h"
#include "updatesite.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
const QString versionPath = QStringLiteral("/version.xml");
const QString packagePath = QStringLiteral("/pool/quillmark_1.2.0_amd64.deb");
const QString website = QStringLiteral("https://quillmark.test/news");
} // namespace

class TestGuiUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dialogLayout();
    void cancelWhileLookingEndsWithZero();
    void resultStageEndsOnOk_data();
    void resultStageEndsOnOk();
    void offerDownloadAndInstall();
    void offerLaterEndsWithTwo();
    void cancelDuringDownloadEndsAtOnce();
    void installerThatCannotStartIsAnError();
    void closingFollowsTheStage_data();
    void closingFollowsTheStage();
    void fileNameFromTheServerIsPlainText();
    void proxyCredentialsAskedOnce_data();
    void proxyCredentialsAskedOnce();

private:
    struct Widgets
    {
        QPushButton *ok;
        QPushButton *cancel;
        QLabel *loader;
        QLabel *text;
    };
    static Widgets widgets(UpdaterDialog *dialog);
    // The one exit code the updater finished with, -1 when not exactly one.
    static int exitCodeOf(const QSignalSpy &finished);
    void publishRelease(
        const QByteArray &package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 50000));
    bool waitForStage(GuiUpdater &updater, int stage);
    QString installerScript() const;
    QStringList installerCalls() const;

    QTranslator m_translator;
    std::unique_ptr<UpdaterTree> m_tree;
    std::unique_ptr<UpdateSite> m_site;
};

void TestGuiUpdater::initTestCase()
{
    QVERIFY(m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/QuillmarkUpdater_en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestGuiUpdater::init()
{
    m_tree = std::make_unique<UpdaterTree>();
    QVERIFY(QDir::setCurrent(m_tree->binDirectory()));
    qputenv("TMPDIR", QFile::encodeName(m_tree->temporaryDirectory()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_tree->runtimeDirectory()));
    m_site = std::make_unique<UpdateSite>();
    QVERIFY(m_site->start());
    // Besides its arguments the installer records where its standard
    // streams lead.
    m_tree->addStandIn(QStringLiteral("gdebi-gtk.sh"),
                       "cd '" + m_tree->standInDirectory().toUtf8() + "'\n"
                       "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                       "printf '%s\\n' \"$streams\" > calls-gdebi-gtk-streams.txt\n"
                       "printf '%s\\n' \"$@\" > calls-gdebi-gtk.txt\n");
}

void TestGuiUpdater::cleanup()
{
    qunsetenv("http_proxy");
    m_site.reset();
    QDir::setCurrent(QStringLiteral(QUILLMARK_BINARY_DIR));
    m_tree.reset();
}

TestGuiUpdater::Widgets TestGuiUpdater::widgets(UpdaterDialog *dialog)
{
    return {dialog->findChild<QPushButton *>(QStringLiteral("btnOK")),
            dialog->findChild<QPushButton *>(QStringLiteral("btnCancel")),
            dialog->findChild<QLabel *>(QStringLiteral("lblLoader")),
            dialog->findChild<QLabel *>(QStringLiteral("lblText"))};
}

int TestGuiUpdater::exitCodeOf(const QSignalSpy &finished)
{
    return finished.size() == 1 ? finished.constFirst().constFirst().toInt() : -1;
}

void TestGuiUpdater::publishRelease(const QByteArray &package)
{
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_site->publish(packagePath, package);
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         m_site->url(versionPath),
                                                         m_site->url(packagePath)));
}

bool TestGuiUpdater::waitForStage(GuiUpdater &updater, int stage)
{
    return QTest::qWaitFor([&] { return updater.dialog()->stage() == stage; }, 10000);
}

QString TestGuiUpdater::installerScript() const
{
    return m_tree->standInDirectory() + QStringLiteral("/gdebi-gtk.sh");
}

QStringList TestGuiUpdater::installerCalls() const
{
    return m_tree->recordedCalls(QStringLiteral("gdebi-gtk"));
}

void TestGuiUpdater::dialogLayout()
{
    UpdaterDialog dialog;
    const Widgets w = widgets(&dialog);
    QVERIFY(w.ok && w.cancel && w.loader && w.text);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Updater"));
    QCOMPARE(dialog.minimumSize(), QSize(450, 160));
    QCOMPARE(dialog.size(), QSize(450, 160));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(w.ok->isDefault());
    QVERIFY(w.text->openExternalLinks());
    QCOMPARE(w.text->textFormat(), Qt::RichText);
    QVERIFY(w.loader->movie() && w.loader->movie()->isValid());
    QVERIFY(w.loader->movie()->frameCount() > 1);
    QCOMPARE(w.loader->movie()->state(), QMovie::Running);
}

void TestGuiUpdater::cancelWhileLookingEndsWithZero()
{
    const QByteArray document = UpdateSite::versionDocument(QStringLiteral("1.2.0"), website);
    m_site->servePaced(versionPath, document, 10, 200);
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         m_site->url(versionPath),
                                                         m_site->url(packagePath)));
    GuiUpdater updater;
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QTRY_VERIFY(updater.dialog()->isVisible());
    const Widgets w = widgets(updater.dialog());
    QCOMPARE(updater.dialog()->stage(), 1);
    QVERIFY(!w.ok->isVisible());
    QVERIFY(w.cancel->isVisible());
    QVERIFY(w.loader->isVisible());
    QCOMPARE(w.text->alignment(), Qt::AlignCenter);
    QCOMPARE(w.text->text(), QStringLiteral("Looking for a new version..."));
    QTest::mouseClick(w.cancel, Qt::LeftButton);
    QCOMPARE(exitCodeOf(finished), 0);
}

void TestGuiUpdater::resultStageEndsOnOk_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<int>("stage");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("latest version") << true << 3
                                    << "<p>You have the latest version of Quillmark.</p>" << 3;
    QTest::newRow("error") << false << 5
                           << "<p>The updater configuration is missing or damaged.</p>" << 1;
}

void TestGuiUpdater::resultStageEndsOnOk()
{
    QFETCH(bool, configured);
    QFETCH(int, stage);
    QFETCH(QString, text);
    QFETCH(int, exitCode);
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.1.0"), website));
    if (configured)
        m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                             m_site->url(versionPath),
                                                             m_site->url(packagePath)));
    GuiUpdater updater;
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, stage));
    const Widgets w = widgets(updater.dialog());
    QVERIFY(updater.dialog()->isVisible());
    QVERIFY(w.ok->isVisible());
    QVERIFY(!w.cancel->isVisible());
    QVERIFY(!w.loader->isVisible());
    QCOMPARE(w.text->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(w.text->text(), text);
    QCOMPARE(w.ok->text(), QStringLiteral("OK"));
    // Cancel is hidden here, and does nothing even if it were reached.
    QMetaObject::invokeMethod(updater.dialog(), "on_btnCancel_clicked");
    QVERIFY(finished.isEmpty());
    QTest::mouseClick(w.ok, Qt::LeftButton);
    QCOMPARE(exitCodeOf(finished), exitCode);
}

void TestGuiUpdater::offerDownloadAndInstall()
{
    const QByteArray package = UpdateSite::debianPackage(QStringLiteral("1.2.0"), 3 * 1024 * 1024);
    publishRelease(package);
    GuiUpdater updater;
    updater.setInstallerScript(installerScript());
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, 2));
    const Widgets w = widgets(updater.dialog());
    QVERIFY(w.ok->isVisible());
    QVERIFY(w.cancel->isVisible());
    QVERIFY(!w.loader->isVisible());
    QCOMPARE(w.ok->text(), QStringLiteral("Download and install"));
    QCOMPARE(w.cancel->text(), QStringLiteral("Later"));
    QCOMPARE(w.text->text(),
             QStringLiteral("<p>A new version 1.2.0.0.0.0 is available.</p><p>Note: What is new is "
                            "described at<br/> <a href=\"%1\">%1</a></p>")
                 .arg(website));

    // By keys and for a screen reader: every control is named, the link is
    // a tab stop, and Return on the focus takes the offer, not the Cancel
    // that had the focus while the version was looked for.
    for (const QWidget *control : updater.dialog()->findChildren<QWidget *>()) {
        if (control->isVisible() && control->focusPolicy() & Qt::TabFocus)
            QVERIFY2(!QAccessible::queryAccessibleInterface(const_cast<QWidget *>(control))
                          ->text(QAccessible::Name)
                          .isEmpty(),
                     qPrintable(control->objectName()));
    }
    QVERIFY(w.text->focusPolicy() & Qt::TabFocus);
    QCOMPARE(updater.dialog()->focusWidget(), w.ok);
    QTest::keyClick(updater.dialog()->focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(updater.dialog()->stage(), 4);
    QVERIFY(w.loader->isVisible());
    QVERIFY(!w.ok->isVisible());
    QCOMPARE(w.cancel->text(), QStringLiteral("Cancel"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
    QCOMPARE(finished.constFirst().constFirst().toInt(), 4);
    const QString saved = m_tree->downloadDirectory() + QStringLiteral("/quillmark_1.2.0_amd64.deb");
    QTRY_COMPARE(installerCalls(), QStringList{saved});
    QCOMPARE(QFileInfo(saved).size(), qint64(package.size()));
    // The installer outlives the updater; the pipes the tray gave the
    // updater are not its to write into.
    QCOMPARE(m_tree->recordedCalls(QStringLiteral("gdebi-gtk-streams")),
             (QStringList{QStringLiteral("/dev/null"), QStringLiteral("/dev/null"),
                          QStringLiteral("/dev/null")}));
    // The last progress shown was the signature's.
    QCOMPARE(w.text->text(), QStringLiteral("Downloading...<br/>quillmark_1.2.0_amd64.deb.sig .. 512/512 bytes"));
}

void TestGuiUpdater::offerLaterEndsWithTwo()
{
    publishRelease();
    GuiUpdater updater;
    updater.setInstallerScript(installerScript());
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, 2));
    QTest::mouseClick(widgets(updater.dialog()).cancel, Qt::LeftButton);
    QCOMPARE(exitCodeOf(finished), 2);
    QCOMPARE(m_site->requestCount(packagePath), 0);
}

void TestGuiUpdater::cancelDuringDownloadEndsAtOnce()
{
    const QByteArray package(200000, 'c');
    publishRelease(package);
    m_site->servePaced(packagePath, package, 4000, 40); // two seconds
    GuiUpdater updater;
    updater.setInstallerScript(installerScript());
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, 2));
    const Widgets w = widgets(updater.dialog());
    QTest::mouseClick(w.ok, Qt::LeftButton);
    QTRY_VERIFY(w.text->text().contains(QStringLiteral("quillmark_1.2.0_amd64.deb .. ")));
    QVERIFY(w.text->text().endsWith(QStringLiteral("/195 KB")));
    QTest::mouseClick(w.cancel, Qt::LeftButton);
    QCOMPARE(exitCodeOf(finished), 2);
    QTest::qWait(2500);
    QCOMPARE(finished.size(), 1);
    QVERIFY(installerCalls().isEmpty());
    QCOMPARE(m_site->requestCount(packagePath + QStringLiteral(".sig")), 0);
}

void TestGuiUpdater::installerThatCannotStartIsAnError()
{
    publishRelease();
    GuiUpdater updater;
    updater.setInstallerScript(m_tree->root() + QStringLiteral("/no-such-installer.sh"));
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, 2));
    const Widgets w = widgets(updater.dialog());
    QTest::mouseClick(w.ok, Qt::LeftButton);
    QVERIFY(waitForStage(updater, 5));
    QCOMPARE(w.text->text(), QStringLiteral("<p>The installer could not be started.</p>"));
    QVERIFY(finished.isEmpty());
    QTest::mouseClick(w.ok, Qt::LeftButton);
    QCOMPARE(exitCodeOf(finished), 1);
}

void TestGuiUpdater::closingFollowsTheStage_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<int>("exitCode");
    const QList<QPair<int, int>> stages{{1, 0}, {2, 2}, {3, 3}, {4, 2}, {5, 1}};
    for (const auto &stage : stages) {
        for (const bool escape : {true, false}) {
            QTest::addRow("stage %d, %s", stage.first, escape ? "Escape" : "close button")
                << stage.first << escape << stage.second;
        }
    }
}

// Escape and the window's close button act as Cancel where the stage has
// one and as OK where it has only OK.
void TestGuiUpdater::closingFollowsTheStage()
{
    QFETCH(int, stage);
    QFETCH(bool, escape);
    QFETCH(int, exitCode);
    const QByteArray package(200000, 'c');
    publishRelease(package);
    if (stage == 1)
        m_site->acceptSilently(versionPath);
    else if (stage == 3)
        m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.1.0"), website));
    else if (stage == 4)
        m_site->acceptSilently(packagePath);
    else if (stage == 5)
        m_site->fail(versionPath, 404);
    GuiUpdater updater;
    updater.setInstallerScript(installerScript());
    QSignalSpy finished(&updater, &Updater::finished);
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, stage == 4 ? 2 : stage));
    QTRY_VERIFY(updater.dialog()->isVisible());
    if (stage == 4) {
        QTest::mouseClick(widgets(updater.dialog()).ok, Qt::LeftButton);
        QVERIFY(waitForStage(updater, 4));
    }
    if (escape)
        QTest::keyClick(updater.dialog(), Qt::Key_Escape);
    else
        updater.dialog()->close();
    QCOMPARE(exitCodeOf(finished), exitCode);
}

void TestGuiUpdater::fileNameFromTheServerIsPlainText()
{
    // No "/" in it: the whole of it is the last path component.
    const QString markup = QStringLiteral("<a href=\"https:evil.test\">install me.deb");
    const QByteArray package(200000, 'm');
    publishRelease(package);
    m_site->servePaced(QStringLiteral("/pool/") + markup, package, 4000, 40);
    m_site->redirect(packagePath, m_site->url(QStringLiteral("/pool/") + QUrl::toPercentEncoding(markup)));
    GuiUpdater updater;
    updater.setInstallerScript(installerScript());
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, 2));
    const Widgets w = widgets(updater.dialog());
    QTest::mouseClick(w.ok, Qt::LeftButton);
    QTRY_VERIFY(w.text->text().contains(QStringLiteral("install me")));
    QVERIFY2(w.text->text().contains(markup.toHtmlEscaped()), qPrintable(w.text->text()));
    QVERIFY(!w.text->text().contains(QStringLiteral("<a href")));
}

void TestGuiUpdater::proxyCredentialsAskedOnce_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("thinkingTime");
    QTest::newRow("right") << "s3cret" << true << 2 << 0;
    QTest::newRow("wrong") << "guess" << true << 5 << 0;
    QTest::newRow("cancelled") << "s3cret" << false << 5 << 0;
    // Longer than the one-second transfer timeout configured here: a person
    // typing is no stalled transfer.
    QTest::newRow("right, after a while") << "s3cret" << true << 2 << 2500;
}

void TestGuiUpdater::proxyCredentialsAskedOnce()
{
    QFETCH(QString, password);
    QFETCH(bool, accept);
    QFETCH(int, stage);
    QFETCH(int, thinkingTime);
    AuthProxy proxy(QStringLiteral("alice"), QStringLiteral("s3cret"), m_site->port());
    QVERIFY(proxy.start());
    qputenv("http_proxy", proxy.address().toUtf8());
    m_site->publish(versionPath, UpdateSite::versionDocument(QStringLiteral("1.2.0"), website));
    m_tree->writeConfiguration(UpdateSite::configuration(QStringLiteral("1.1.0"),
                                                         AuthProxy::hiddenSite() + versionPath,
                                                         AuthProxy::hiddenSite() + packagePath, 1));
    int formsShown = 0;
    QElapsedTimer formOpen;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto *form = qobject_cast<AuthenticationForm *>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        if (!formOpen.isValid())
            formOpen.start();
        if (formOpen.elapsed() < thinkingTime)
            return;
        formOpen.invalidate();
        ++formsShown;
        QCOMPARE(form->windowTitle(), QStringLiteral("Quillmark Updater"));
        auto *passwordEdit = form->findChild<QLineEdit *>(QStringLiteral("lePassword"));
        QCOMPARE(passwordEdit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(form->findChild<QLineEdit *>(QStringLiteral("leUsername")),
                         QStringLiteral("alice"));
        QTest::keyClicks(passwordEdit, password);
        QTest::mouseClick(form->findChild<QPushButton *>(accept ? QStringLiteral("btnOk")
                                                                : QStringLiteral("btnCancel")),
                          Qt::LeftButton);
    });
    answerer.start(20);
    GuiUpdater updater;
    emit updater.checkVersion();
    QVERIFY(waitForStage(updater, stage));
    QTest::qWait(300);
    QCOMPARE(formsShown, 1);
    QCOMPARE(updater.dialog()->stage(), stage);
}

QTEST_MAIN(TestGuiUpdater)
#include "tst_guiupdater.moc"
