#include "appexception.h"
#include "pkcs11exception.h"

#include <QtTest>

#include <memory>

class TestAppException : public QObject
{
    Q_OBJECT

private slots:
    void textWithAndWithoutLocation()
    {
        const AppException inner(QStringLiteral("PKCS#11 method C_Login returned error 0xA0"),
                                 QStringLiteral("lib.cpp"), 12, QStringLiteral("void login()"), true);
        const AppException outer(QStringLiteral("Method X failed."), inner, QStringLiteral("host.cpp"),
                                 34, QStringLiteral("void dispatch()"), false);

        QCOMPARE(outer.toString(false),
                 QStringLiteral("AppException: Method X failed.\ncaused by AppException: "
                                "PKCS#11 method C_Login returned error 0xA0"));
        QCOMPARE(outer.toString(true),
                 QStringLiteral("AppException: Method X failed.\n  at void dispatch() in host.cpp line 34"
                                "\ncaused by AppException: PKCS#11 method C_Login returned error 0xA0"
                                "\n  at void login() in lib.cpp line 12"));
        QVERIFY(!outer.isUserMessage());
        QVERIFY(inner.isUserMessage());
    }

    void emptyMessage()
    {
        const AppException e(QString(), QStringLiteral("f"), 1, QStringLiteral("g"), true);
        QCOMPARE(e.toString(false), QStringLiteral("AppException: <No message available>"));
    }

    void cloneCopiesTheWholeChain()
    {
        std::unique_ptr<AppException> clone;
        {
            const AppException root(QStringLiteral("root"), APP_LOCATION, true);
            const AppException middle(QStringLiteral("middle"), root, APP_LOCATION, true);
            auto top = std::make_unique<AppException>(QStringLiteral("top"), middle, APP_LOCATION, false);
            clone.reset(top->clone());
            QVERIFY(clone->innerException() != top->innerException());
        }
        QCOMPARE(clone->toString(false),
                 QStringLiteral("AppException: top\ncaused by AppException: middle\ncaused by AppException: root"));
        QVERIFY(!clone->isUserMessage());
        QVERIFY(clone->toString(true).contains(QStringLiteral("tst_appexception.cpp line ")));
    }

    void raiseThrowsACopy()
    {
        const AppException e(QStringLiteral("raised"), APP_LOCATION, true);
        try {
            e.raise();
            QFAIL("raise() returned");
        } catch (const AppException &caught) {
            QCOMPARE(caught.message(), QStringLiteral("raised"));
        }
    }

    void pkcs11ExceptionBecomesAppExceptionWhenCopied()
    {
        const Pkcs11Exception e(QStringLiteral("PKCS#11 method C_Sign returned error 0x30"), APP_LOCATION);
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

QTEST_GUILESS_MAIN(TestAppException)
#include "tst_appexception.moc"
