#pragma once

#include <QByteArray>
#include <QString>

// A certificate and its private key, both PEM, that sign server answers.
class SigningIdentity
{
public:
    QByteArray certificatePem;
    QByteArray keyPem;

    // Throws std::runtime_error when a file cannot be read.
    static SigningIdentity fromFiles(const QString &certificatePath, const QString &keyPath);
    // A role of the development PKI, e.g. "server-2014" or "server-impostor".
    static SigningIdentity development(const QString &role);
};
