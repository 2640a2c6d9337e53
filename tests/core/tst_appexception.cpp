#include "appexception.h"

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
};

QTEST_GUILESS_MAIN(TestAppException)
#include "tst_appexception.moc"
