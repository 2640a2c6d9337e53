#include "appexception.h"
#include "closedialog.h"
#include "closingflag.h"
#include "fixturepaths.h"
#include "modalprobe.h"
#include "msgbox.h"
#include "quillmark.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<void(Quillmark &)>)

// The component's settings and life, called directly as the host calls it.
class TestQuillmark : public QObject
{
    Q_OBJECT

private:
    using Operation = std::function<void(Quillmark &)>;

    static QString failureOf(const Operation &operation, Quillmark &component)
    {
        try {
            operation(component);
        } catch (const AppException &e) {
            return e.message();
        }
        return QString();
    }

    // What the page wrote per store: its name and its value.
    using Written = QPair<QString, QString>;
    static QList<Written> written(const Quillmark::StoreDefinitions &definitions)
    {
        QList<Written> pairs;
        for (const StoreDefinition &definition : definitions)
            pairs.append({definition.name(), definition.value()});
        return pairs;
    }

private slots:
    void initTestCase();
    void init() { ClosingFlag::lower(); }

    void startsWithDefaults();
    void pageCacheSizeIsNeverNegative();
    void refusedStoreDefinitionKeepsTheList();
    void failedLanguageKeepsTheInstalledCatalogue();
    void catalogueGoesWithTheComponent();
    void everyOperationRefusesAfterDisposal_data();
    void everyOperationRefusesAfterDisposal();
    void terminateRaisesFlagAndClosesOpenBox();
    void terminateAnswersOpenCloseQuestion();
};

void TestQuillmark::initTestCase()
{
    // The program reaches its catalogues from its own directory.
    QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMARK_STAGE_BIN)));
}

void TestQuillmark::startsWithDefaults()
{
    Quillmark component;
    QVERIFY(!component.filterOnlyValidCerts());
    QVERIFY(!component.filterOnlyQualifiedCerts());
    QCOMPARE(component.pageCacheSize(), 33554432);
    QVERIFY(component.signingCertificateStores().isEmpty());
    QVERIFY(!component.isFormVisible());
    QCOMPARE(component.getVersion(), QStringLiteral("1.0.7"));

    component.setFilterOnlyValidCerts(true);
    component.setFilterOnlyQualifiedCerts(true);
    QVERIFY(component.filterOnlyValidCerts());
    QVERIFY(component.filterOnlyQualifiedCerts());
}

void TestQuillmark::pageCacheSizeIsNeverNegative()
{
    Quillmark component;
    component.setPageCacheSize(-5);
    QCOMPARE(component.pageCacheSize(), 0);
    component.setPageCacheSize(12);
    QCOMPARE(component.pageCacheSize(), 12);
}

void TestQuillmark::refusedStoreDefinitionKeepsTheList()
{
    Quillmark component;
    component.setSigningCertificateStores(QStringLiteral("|PKCS11"));
    const QList<Written> kind{{QString(), QStringLiteral("PKCS11")}};
    QCOMPARE(written(component.signingCertificateStores()), kind);

    // At most 32 stores and 16 KiB of definition: 60 MB of pairs once took
    // millions of stores and gigabytes.
    const QString storesBeyondTheCount = QStringLiteral("a|b|").repeated(33).chopped(1);
    const QString definitionBeyondTheLength = QStringLiteral("Token|") + QString(16 * 1024, 'x');
    for (const QString &refused : {QStringLiteral("|pkcs11"), QStringLiteral("a|"),
                                   QStringLiteral("a"), QString(), QStringLiteral("|CSP|x|"),
                                   storesBeyondTheCount, definitionBeyondTheLength}) {
        QCOMPARE(failureOf([&](Quillmark &c) { c.setSigningCertificateStores(refused); },
                           component),
                 QObject::tr("UnableToParseSigningCertificateStoresDefinition"));
        QCOMPARE(written(component.signingCertificateStores()), kind);
    }

    component.setSigningCertificateStores(QStringLiteral("a|b|").repeated(32).chopped(1));
    QCOMPARE(component.signingCertificateStores().size(), 32);
    component.setSigningCertificateStores(QStringLiteral("Token|/usr/lib/libtoken.so||CSP"));
    const QList<Written> two{{QStringLiteral("Token"), QStringLiteral("/usr/lib/libtoken.so")},
                             {QString(), QStringLiteral("CSP")}};
    QCOMPARE(written(component.signingCertificateStores()), two);
}

void TestQuillmark::failedLanguageKeepsTheInstalledCatalogue()
{
    Quillmark component;
    component.setLanguage(QStringLiteral("sk-SK"));
    const QString slovakYes = QObject::tr("AnswerYes");
    QVERIFY(slovakYes != QStringLiteral("AnswerYes"));

    const QString failure =
        failureOf([](Quillmark &c) { c.setLanguage(QStringLiteral("xx-YY")); }, component);
    QCOMPARE(failure, QObject::tr("UnsupportedLanguage").arg(QStringLiteral("xx-YY")));
    QCOMPARE(QObject::tr("AnswerYes"), slovakYes);

    // What is no language tag is refused at once: the translator's search
    // for a file took 50 s on 300,000 "_". The text names its length only.
    for (const QChar filler : {QLatin1Char('_'), QLatin1Char('.')}) {
        const QString hostile(300000, filler);
        QElapsedTimer clock;
        clock.start();
        const QString refusal = failureOf([&](Quillmark &c) { c.setLanguage(hostile); }, component);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(refusal.startsWith(QObject::tr("UnsupportedLanguage").section(QLatin1String("%1"), 0, 0)));
        QVERIFY(refusal.contains(QLatin1String("300000 characters")));
        QVERIFY(refusal.size() < 5000);
    }
    QCOMPARE(QObject::tr("AnswerYes"), slovakYes);

    component.setLanguage(QStringLiteral("en-US"));
    QCOMPARE(QObject::tr("AnswerYes"), QStringLiteral("Yes"));
}

void TestQuillmark::catalogueGoesWithTheComponent()
{
    {
        Quillmark component;
        component.setLanguage(QStringLiteral("en"));
        QCOMPARE(QObject::tr("AnswerNo"), QStringLiteral("No"));
    }
    QCOMPARE(QObject::tr("AnswerNo"), QStringLiteral("AnswerNo"));
}

void TestQuillmark::everyOperationRefusesAfterDisposal_data()
{
    QTest::addColumn<Operation>("operation");
    const QString text = QStringLiteral("text");
    QTest::newRow("signDocument") << Operation([](Quillmark &c) { c.signDocument(); });
    QTest::newRow("viewDocument") << Operation([](Quillmark &c) { c.viewDocument(); });
    QTest::newRow("processGetDocumentInfoResponse")
        << Operation([=](Quillmark &c) { c.processGetDocumentInfoResponse(text); });
    QTest::newRow("processGetDocumentPageResponse")
        << Operation([=](Quillmark &c) { c.processGetDocumentPageResponse(text); });
    QTest::newRow("processSignInitResponse")
        << Operation([=](Quillmark &c) { c.processSignInitResponse(text); });
    QTest::newRow("processSignFinishResponse")
        << Operation([=](Quillmark &c) { c.processSignFinishResponse(text); });
    QTest::newRow("bringToFront") << Operation([](Quillmark &c) { c.bringToFront(); });
    QTest::newRow("setFilterOnlyValidCerts")
        << Operation([](Quillmark &c) { c.setFilterOnlyValidCerts(true); });
    QTest::newRow("setFilterOnlyQualifiedCerts")
        << Operation([](Quillmark &c) { c.setFilterOnlyQualifiedCerts(true); });
    QTest::newRow("setLanguage") << Operation([](Quillmark &c) { c.setLanguage("en"); });
    QTest::newRow("setPageCacheSize") << Operation([](Quillmark &c) { c.setPageCacheSize(1); });
    QTest::newRow("setSigningCertificateStores")
        << Operation([](Quillmark &c) { c.setSigningCertificateStores("|PKCS11"); });
    QTest::newRow("getVersion") << Operation([](Quillmark &c) { c.getVersion(); });
    QTest::newRow("closeQuillmark") << Operation([](Quillmark &c) { c.closeQuillmark(); });
}

void TestQuillmark::everyOperationRefusesAfterDisposal()
{
    QFETCH(Operation, operation);
    Quillmark component;
    component.setLanguage(QStringLiteral("sk"));
    component.dispose(true);
    component.dispose(true);

    bool userMessage = false;
    QString message;
    try {
        operation(component);
    } catch (const AppException &e) {
        message = e.message();
        userMessage = e.isUserMessage();
    }
    QCOMPARE(message, QObject::tr("ObjectDisposed").arg(QStringLiteral("quillmark")));
    QVERIFY(message.contains(QStringLiteral("quillmark")));
    QVERIFY(message != QStringLiteral("ObjectDisposed"));
    QVERIFY(userMessage);
    // Ending the workflow still works on a disposed component.
    component.terminate();
    QVERIFY(ClosingFlag::isRaised());
}

void TestQuillmark::terminateRaisesFlagAndClosesOpenBox()
{
    Quillmark component;
    QSignalSpy done(&component, &Quillmark::quillmarkDone);
    ModalProbe<MsgBox> probe([&](MsgBox *) { component.terminate(); });
    bool closed = false;
    MsgBox::showInfo(nullptr, QStringLiteral("Caption"), QStringLiteral("waiting for the user"),
                     [&] { closed = true; });
    QTRY_VERIFY(probe.seen());
    QCOMPARE(done.count(), 1);
    QVERIFY(ClosingFlag::isRaised());
    // The queued reject closes the box and runs what waited for it.
    QTRY_VERIFY(closed);
    QVERIFY(!ModalProbe<MsgBox>::visibleWidget());
}

void TestQuillmark::terminateAnswersOpenCloseQuestion()
{
    Quillmark component;
    ModalProbe<CloseDialog> probe([&](CloseDialog *) { component.terminate(); });
    int answers = 0;
    bool mayClose = false;
    CloseDialog::askToClose(nullptr, [&](bool answer) {
        ++answers;
        mayClose = answer;
    });
    QTRY_VERIFY(probe.seen());
    QTRY_COMPARE(answers, 1);
    QVERIFY(mayClose);
    QVERIFY(!ModalProbe<CloseDialog>::visibleWidget());
}

QTEST_MAIN(TestQuillmark)
#include "tst_quillmark.moc"
