#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Signs release files the way the updater checks them: RSA over SHA-256
// (PKCS #1 v1.5), written as hexadecimal text into "<file>.sig".
class ReleaseSigner
{
public:
    // The development private key of tools/releasekey; never for releases.
    static QString developmentKeyPath();

    explicit ReleaseSigner(const QString &privateKeyPath = developmentKeyPath());
    ~ReleaseSigner();
    ReleaseSigner(const ReleaseSigner &) = delete;
    ReleaseSigner &operator=(const ReleaseSigner &) = delete;

    bool isValid() const;
    QString errorString() const;

    QByteArray signature(const QByteArray &data) const;
    // The ".sig" body: lower-case hexadecimal of the signature, no line break.
    QByteArray signatureHex(const QByteArray &data) const;
    bool signFile(const QString &path) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
    QString m_error;
};
