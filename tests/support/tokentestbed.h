#pragma once

#include "appexception.h"
#include "opensslthreadrelease.h"
#include "pinprompt.h"
#include "softhsmfixture.h"

#include <QByteArray>
#include <QFuture>
#include <QStringList>
#include <QTest>
#include <QVariant>
#include <QtConcurrent>

#include <memory>

// What a piece of token code returned, or the exception it threw.
struct Outcome
{
    QVariant value;
    bool threw = false;
    QString typeName;
    QString message;
    bool userMessage = false;
};

// The SoftHSM2 tokens and test modules of one test program: a token
// directory of its own under the build tree (laid anew for every run), the
// fault-injecting module and the English catalogue, so that messages read as
// a user would see them.
class TokenTestBed
{
public:
    explicit TokenTestBed(const QString &name);

    SoftHsmFixture &fixture();
    const FixtureCredential &authority() const;

    // The PIN prompt of the test that runs: ScriptedPinPrompt::current().
    static PinPrompt &pinPrompt();

    static QString softHsmModule();
    // The fault-injecting module and the library without the module entry
    // point, installed as root into a folder that only root may change:
    // loaded from the build tree, they would be refused wherever the
    // checkout lies in a folder others may write (a clone under /tmp).
    static QString faultModule();
    static QString noFunctionListModule();
    // A library that creates "<its path>.loaded" when it is loaded.
    static QString markerModule();

    // A folder that only root may change, nor any folder above it: where a
    // file of root's counts as installed by the administrator.
    static QString rootOnlyFolder();
    // A copy of the file as a package installs it: root's, writable by root
    // alone, in a folder of this run's under rootOnlyFolder(), removed at exit.
    static QString installAsRoot(const QString &file);

    // Copies a module into a folder of the test's that anybody may write, as
    // a download lands where a page can put it; returns the copy's path.
    QString plantModule(const QString &module, const QString &name) const;

    // Faults of the next module loaded through faultModule(); empty: none.
    void setFaults(const QString &faults);
    QStringList faultLog() const;
    QStringList faultLogLines(const QString &call) const;
    void clearFaultLog();

    // Creates a token holding a key and its certificate under CKA_ID 01.
    FixtureCredential createSigningToken(const QString &label, const QString &pin,
                                         bool alwaysAuthenticate = false);

    // Runs work on a pool thread while the GUI thread serves its dialogs.
    template<typename Work>
    static Outcome runOnWorker(Work work, int timeoutMs = 60000)
    {
        QFuture<Outcome> future = QtConcurrent::run([work]() {
            const OpenSslThreadRelease release;
            Outcome outcome;
            try {
                outcome.value = work();
            } catch (const AppException &exception) {
                outcome.threw = true;
                outcome.typeName = exception.typeName();
                outcome.message = exception.message();
                outcome.userMessage = exception.isUserMessage();
            }
            return outcome;
        });
        if (!QTest::qWaitFor([&future]() { return future.isFinished(); }, timeoutMs))
            qFatal("token work did not finish in time");
        return future.result();
    }

private:
    QString m_directory;
    QString m_faultLog;
    std::unique_ptr<SoftHsmFixture> m_fixture;
    FixtureCredential m_authority;
};
