#pragma once

#include "fixturecredential.h"

#include <QByteArray>
#include <QString>

// SoftHSM2 tokens of our own: a configuration and a token directory under a
// directory the caller chooses, so tests and demos never touch the machine's
// tokens. The constructor points SOFTHSM2_CONF of this process at it; child
// processes get it from environmentEntry().
class SoftHsmFixture
{
public:
    explicit SoftHsmFixture(const QString &directory);

    static QString modulePath();
    QString configPath() const;
    // "SOFTHSM2_CONF=<path>", for a child's environment.
    QString environmentEntry() const;

    // Initialises a token on the free slot and returns its serial number.
    QString createToken(const QString &label, const QString &userPin);

    struct ObjectOptions
    {
        QByteArray id;
        QString label;
        // A private certificate can be read only after login.
        bool privateObject = false;
        // The key asks for the PIN again before every signature.
        bool alwaysAuthenticate = false;
    };
    void importCertificate(const QString &tokenLabel, const QString &userPin,
                           const QByteArray &certificateDer, const QByteArray &subjectDer,
                           const ObjectOptions &options);
    void importPrivateKey(const QString &tokenLabel, const QString &userPin,
                          const FixtureCredential &credential, const ObjectOptions &options);
    // A P-256 key, for testing what happens to keys other than RSA.
    void importEcPrivateKey(const QString &tokenLabel, const QString &userPin,
                            const ObjectOptions &options);
    // Key and certificate under one identifier, as a signing token holds them.
    void importCredential(const QString &tokenLabel, const QString &userPin,
                          const FixtureCredential &credential, const ObjectOptions &options);

private:
    QString m_directory;
};
