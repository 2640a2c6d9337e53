// A PKCS#11 failure is an AppException of its own type, which copies and
// rethrows of the chain do not keep.
#include "appexception.h"
#include "pkcs11exception.h"

#include <QtTest>

#include <memory>

class TestPkcs11Exception : public QObject
{
    Q_OBJECT

private slots:
    void pkcs11ExceptionBecomesAppExceptionWhenCopied()
    {
        const Pkcs11Exception e(QStringLiteral("PKCS#11 method C_Sign returned error 0x30"),
                                APP_LOCATION);
        QVERIFY(e.toString(false).startsWith(QStringLiteral("Pkcs11Exception: ")));
        QVERIFY(e.isUserMessage());

        const std::unique_ptr<AppException> clone(e.clone());
        QVERIFY(clone->toString(false).startsWith(QStringLiteral("AppException: ")));

        const AppException wrapper(QStringLiteral("Method Y failed."), e, APP_LOCATION, false);
        QVERIFY(wrapper.toString(false).endsWith(
            QStringLiteral("caused by AppException: PKCS#11 method C_Sign returned error 0x30")));

        try {
            e.raise();
        } catch (const Pkcs11Exception &) {
            QFAIL("raise() kept the Pkcs11Exception type");
        } catch (const AppException &caught) {
            QCOMPARE(caught.typeName(), QStringLiteral("AppException"));
        }
    }
};

QTEST_GUILESS_MAIN(TestPkcs11Exception)
#include "tst_pkcs11exception.moc"
