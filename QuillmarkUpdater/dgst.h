#pragma once

#include "opensslpointers.h"

#include <QByteArray>
#include <QString>

#include <memory>

class DigestVerifier;

// Checks the detached RSA/SHA-256 signature that accompanies every file the
// updater downloads, against the release public key compiled into the
// program.
class dgst
{
public:
    // The compiled-in release key (PEM SubjectPublicKeyInfo).
    static QByteArray releasePublicKey();

    explicit dgst(const QByteArray &publicKeyPem = releasePublicKey());

    // A fresh key object for every call; null when the PEM text is unusable.
    EvpPkeyPtr getCdnPublicKey() const;
    bool verify(const QByteArray &data, const QByteArray &signature) const;
    // A check to feed piece by piece; null when the key is unusable.
    std::unique_ptr<DigestVerifier> startVerification() const;

private:
    QByteArray m_publicKeyPem;
};
