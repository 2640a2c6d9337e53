// The certificate window in-process over SoftHSM2 tokens: which certificates
// the tree shows under the filters, which one it chooses for the user, and
// what it writes into the configuration.
#include "certform.h"
#include "certstorefactory.h"
#include "moduletrust.h"
#include "tokendialogdriver.h"
#include "tokentestbed.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUuid>
#include <QtTest>

namespace {

const QString pin = QStringLiteral("2468");

enum class Configured { Nothing, BetaQualified, BetaUnqualified };

} // namespace

Q_DECLARE_METATYPE(Configured)

class TestCertForm : public QObject
{
    Q_OBJECT

private:
    QByteArray derOf(Configured configured) const
    {
        switch (configured) {
        case Configured::BetaQualified:
            return m_betaQualified.certificateDer();
        case Configured::BetaUnqualified:
            return m_betaUnqualified.certificateDer();
        case Configured::Nothing:
            break;
        }
        return {};
    }

    // Shows the window for the SoftHSM2 store and waits for its listing; the
    // token PINs are not given, so only public objects are listed.
    std::unique_ptr<CertForm> openListed(const Configuration &configuration, bool onlyQualified)
    {
        const QList<Pkcs11CertStore> stores{CertStoreFactory::getInstance(
            StoreDefinition::parseList(QStringLiteral("SoftHSM|") + TokenTestBed::softHsmModule())
                .constFirst())};
        auto form = std::make_unique<CertForm>(nullptr, stores, false, onlyQualified, configuration);
        for (int i = 0; i < 3; ++i)
            m_dialogs->pressCancel();
        form->show();
        auto *tree = form->findChild<QTreeWidget *>(QStringLiteral("treeWidgetCertificates"));
        if (!QTest::qWaitFor([&]() { return tree->topLevelItemCount() == 3 && m_dialogs->pinDialogsSeen() >= 3; }))
            return nullptr;
        return form;
    }

    static QTreeWidget *treeOf(CertForm &form)
    {
        return form.findChild<QTreeWidget *>(QStringLiteral("treeWidgetCertificates"));
    }

    static QTableWidget *detailsOf(CertForm &form)
    {
        return form.findChild<QTableWidget *>(QStringLiteral("tableWidgetDetails"));
    }

    static QPushButton *okOf(CertForm &form)
    {
        return form.findChild<QPushButton *>(QStringLiteral("btnOk"));
    }

private slots:
    void initTestCase()
    {
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_certform"));
        SoftHsmFixture &fixture = m_tokens->fixture();
        const FixtureCredential &authority = m_tokens->authority();
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray::fromHex("01");

        // Slot order: a token without a label, Alpha, Beta.
        fixture.createToken(QString(), pin);
        m_unlabelled = authority.issue(QStringLiteral("Gamma Unqualified"), false);
        fixture.importCredential(QString(), pin, m_unlabelled, options);

        fixture.createToken(QStringLiteral("Alpha"), pin);
        m_alpha = authority.issue(QStringLiteral("Alpha Signer"), true);
        fixture.importCredential(QStringLiteral("Alpha"), pin, m_alpha, options);

        fixture.createToken(QStringLiteral("Beta"), pin);
        m_betaQualified = authority.issue(QStringLiteral("Beta Qualified"), true);
        fixture.importCredential(QStringLiteral("Beta"), pin, m_betaQualified, options);
        m_betaUnqualified = authority.issue(QStringLiteral("Beta Unqualified"), false);
        options.id = QByteArray::fromHex("02");
        fixture.importCredential(QStringLiteral("Beta"), pin, m_betaUnqualified, options);
        // The authority's own certificate sits on the token too.
        options.id = QByteArray::fromHex("03");
        fixture.importCertificate(QStringLiteral("Beta"), pin, authority.certificateDer(), authority.subjectDer(),
                                  options);
    }

    void init() { m_dialogs = std::make_unique<TokenDialogDriver>(); }

    void showsFiltersAndPreselects_data()
    {
        QTest::addColumn<bool>("onlyQualified");
        QTest::addColumn<Configured>("configured");
        // Shown certificates of the unlabelled token, Alpha and Beta.
        QTest::addColumn<QList<int>>("children");
        // Certificates that qualify for preselection; the last in the tree wins.
        QTest::addColumn<QStringList>("candidates");

        QTest::newRow("single certificates") << false << Configured::Nothing << QList<int>{1, 1, 2}
                                             << QStringList{QStringLiteral("Gamma Unqualified"),
                                                            QStringLiteral("Alpha Signer")};
        QTest::newRow("configured certificate")
            << false << Configured::BetaQualified << QList<int>{1, 1, 2}
            << QStringList{QStringLiteral("Gamma Unqualified"), QStringLiteral("Alpha Signer"),
                           QStringLiteral("Beta Qualified")};
        QTest::newRow("qualified only, configured one hidden")
            << true << Configured::BetaUnqualified << QList<int>{0, 1, 1}
            << QStringList{QStringLiteral("Alpha Signer")};
    }

    void showsFiltersAndPreselects()
    {
        QFETCH(bool, onlyQualified);
        QFETCH(Configured, configured);
        QFETCH(QList<int>, children);
        QFETCH(QStringList, candidates);

        Configuration configuration;
        configuration.setPkcs11Library(TokenTestBed::softHsmModule());
        configuration.setSigningCertificate(derOf(configured));
        const auto form = openListed(configuration, onlyQualified);
        QVERIFY(form);
        QTreeWidget *tree = treeOf(*form);

        const QStringList titles{QStringLiteral("SoftHSM v2"), QStringLiteral("SoftHSM v2 - Alpha"),
                                 QStringLiteral("SoftHSM v2 - Beta")};
        QList<int> shown{-1, -1, -1};
        QString expected;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *token = tree->topLevelItem(i);
            QVERIFY2(titles.contains(token->text(0)), qPrintable(token->text(0)));
            QVERIFY(token->isExpanded());
            shown[titles.indexOf(token->text(0))] = token->childCount();
            for (int j = 0; j < token->childCount(); ++j) {
                const QString name = token->child(j)->text(0).section(QStringLiteral(" - "), 0, 0);
                if (candidates.contains(name))
                    expected = name;
            }
        }
        QCOMPARE(shown, children);

        QTreeWidgetItem *current = tree->currentItem();
        QVERIFY(current && current->parent());
        QVERIFY2(current->text(0).startsWith(expected), qPrintable(current->text(0)));
        QVERIFY(okOf(*form)->isEnabled());
        QCOMPARE(detailsOf(*form)->rowCount(), 7);
        QCOMPARE(detailsOf(*form)->item(0, 0)->text(), QStringLiteral("Subject"));
        QVERIFY(detailsOf(*form)->item(0, 1)->text().contains(expected));
        QCOMPARE(form->getSelectedCertificate().subjectInfo(QSslCertificate::CommonName).value(0), expected);
    }

    void okWritesTheChosenCertificateAndToken()
    {
        Configuration configuration;
        configuration.setCspStoreName(QStringLiteral("kept"));
        const auto form = openListed(configuration, false);
        QVERIFY(form);
        QTreeWidget *tree = treeOf(*form);
        QSignalSpy set(form.get(), &CertForm::configurationSet);

        // A token clicked shows its values and cannot be confirmed.
        QTreeWidgetItem *beta = tree->findItems(QStringLiteral("SoftHSM v2 - Beta"), Qt::MatchExactly).value(0);
        QVERIFY(beta);
        emit tree->itemClicked(beta, 0);
        QCOMPARE(detailsOf(*form)->rowCount(), 8);
        QCOMPARE(detailsOf(*form)->item(1, 1)->text(), QStringLiteral("Beta"));
        QVERIFY(!okOf(*form)->isEnabled());

        QTreeWidgetItem *unqualified = beta->child(0)->text(0).startsWith(QLatin1String("Beta Unqualified"))
                                           ? beta->child(0)
                                           : beta->child(1);
        emit tree->itemClicked(unqualified, 0);
        QCOMPARE(detailsOf(*form)->item(5, 1)->text(), QStringLiteral("No"));
        QTest::mouseClick(okOf(*form), Qt::LeftButton);
        QCOMPARE(set.count(), 1);
        QVERIFY(!form->isVisible());
        const Configuration chosen = form->getConfiguration();
        QCOMPARE(chosen.getPkcs11Library(), TokenTestBed::softHsmModule());
        QCOMPARE(chosen.getPkcs11TokenLabel(), QStringLiteral("Beta"));
        QVERIFY(!chosen.getPkcs11TokenSerial().isEmpty());
        QCOMPARE(chosen.getSigningCertificate(), m_betaUnqualified.certificateDer());
        QCOMPARE(chosen.getCspStoreName(), QStringLiteral("kept"));
    }

    void withoutUsableStoreTellsAndCloses()
    {
        CertForm form(nullptr, {}, false, false, Configuration());
        form.show();
        QTRY_COMPARE(m_dialogs->messagesSeen().size(), 1);
        QCOMPARE(m_dialogs->messagesSeen().first(), QStringLiteral("No usable certificate store is available."));
        QTRY_VERIFY(!form.isVisible());
    }

    // For a selectable store Browse offers the modules registered with
    // p11-kit by name (OpenSC's and SoftHSM2's packages register theirs);
    // choosing one lists its tokens.
    void browseOffersRegisteredModules()
    {
        const QList<Pkcs11CertStore> stores{CertStoreFactory::getInstance(
            StoreDefinition::parseList(QStringLiteral("|PKCS11")).constFirst())};
        CertForm form(nullptr, stores, false, false, Configuration());
        for (int i = 0; i < 3; ++i)
            m_dialogs->pressCancel();
        form.show();
        // No module yet: the first listing fails with its box.
        QTRY_COMPARE(m_dialogs->messagesSeen().size(), 1);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("btnBrowse")), Qt::LeftButton);
        QMenu *menu = form.findChild<QMenu *>(QStringLiteral("menuModules"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QStringList names;
        QAction *softHsm = nullptr;
        for (QAction *action : menu->actions()) {
            names << action->text();
            if (action->text() == QLatin1String("softhsm2"))
                softHsm = action;
        }
        QVERIFY2(names.contains(QStringLiteral("opensc-pkcs11")), qPrintable(names.join(QLatin1Char(','))));
        QVERIFY(softHsm);
        QCOMPARE(names.constLast(), QStringLiteral("Other module file..."));

        softHsm->trigger();
        const QString driver = form.findChild<QLineEdit *>(QStringLiteral("lineEditDriver"))->text();
        QCOMPARE(QFileInfo(driver).canonicalFilePath(), QFileInfo(TokenTestBed::softHsmModule()).canonicalFilePath());
        QTRY_COMPARE(treeOf(form)->topLevelItemCount(), 3);
    }

    // "Other module file..." is the person's own choice: the file is listed
    // although it lies where anybody may write, and it stays trusted on
    // later runs.
    void chosenModuleFileIsRemembered()
    {
        // Named anew for every run: a choice of an earlier run would be remembered.
        const QString vendor = m_tokens->plantModule(
            TokenTestBed::softHsmModule(),
            QStringLiteral("vendor-%1.so").arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
        QVERIFY(!ModuleTrust::system().isTrusted(vendor));
        const QList<Pkcs11CertStore> stores{CertStoreFactory::getInstance(
            StoreDefinition::parseList(QStringLiteral("|PKCS11")).constFirst())};
        CertForm form(nullptr, stores, false, false, Configuration());
        for (int i = 0; i < 3; ++i)
            m_dialogs->pressCancel();
        form.show();
        QTRY_COMPARE(m_dialogs->messagesSeen().size(), 1);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("btnBrowse")),
                          Qt::LeftButton);
        QMenu *menu = form.findChild<QMenu *>(QStringLiteral("menuModules"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        menu->actions().constLast()->trigger();
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = form.findChild<QFileDialog *>()));
        dialog->selectFile(vendor);
        QMetaObject::invokeMethod(dialog, "accept");

        QTRY_COMPARE(treeOf(form)->topLevelItemCount(), 3);
        QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("lineEditDriver"))->text(), vendor);
        QCOMPARE(m_dialogs->messagesSeen().size(), 1);
        QVERIFY(ModuleTrust::system().isTrusted(vendor));
    }

private:
    std::unique_ptr<TokenTestBed> m_tokens;
    std::unique_ptr<TokenDialogDriver> m_dialogs;
    FixtureCredential m_unlabelled = FixtureCredential::createAuthority(QStringLiteral("placeholder"));
    FixtureCredential m_alpha = m_unlabelled;
    FixtureCredential m_betaQualified = m_unlabelled;
    FixtureCredential m_betaUnqualified = m_unlabelled;
};

QTEST_MAIN(TestCertForm)
#include "tst_certform.moc"
