#include "responsecryptoprocessor.h"

#include "appexception.h"
#include "opensslerrors.h"
#include "textexcerpt.h"
#include "trustedsignercache.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QXmlStreamReader>
#include <QtDebug>

#include <openssl/err.h>
#include <openssl/pem.h>

namespace {

const QString serverPolicyOid = QStringLiteral("1.3.158.48261537.0.0.0.1.10.1.0");
const QString trustAnchorDirectory = QStringLiteral(":/trust");

AppException cmsError(const char *message, const QString &file, int line, const QString &function)
{
    return AppException(QString::fromLatin1(message).arg(openSslErrors()), file, line, function,
                        false);
}

AppException fixedCmsError(const char *message, const QString &file, int line,
                           const QString &function)
{
    return AppException(QString::fromLatin1(message), file, line, function, false);
}

// "CN = name, O = organisation, L = locality, C = country"
QString subjectText(const X509Certificate2Ultra &certificate)
{
    static const QList<QPair<QSslCertificate::SubjectInfo, QString>> attributes = {
        {QSslCertificate::CommonName, QStringLiteral("CN")},
        {QSslCertificate::Organization, QStringLiteral("O")},
        {QSslCertificate::LocalityName, QStringLiteral("L")},
        {QSslCertificate::CountryName, QStringLiteral("C")},
    };
    QStringList parts;
    for (const auto &attribute : attributes) {
        for (const QString &value : certificate.subjectInfo(attribute.first))
            parts << attribute.second + QStringLiteral(" = ") + value;
    }
    return parts.join(QStringLiteral(", "));
}

QList<ResponseCryptoProcessor::TrustedIssuer> loadCompiledInIssuers()
{
    QList<ResponseCryptoProcessor::TrustedIssuer> issuers;
    const QDir directory(trustAnchorDirectory);
    for (const QString &name : directory.entryList(QDir::Files, QDir::Name)) {
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const X509Certificate2Ultra certificate(file.readAll(), QSsl::Pem);
        issuers.append({subjectText(certificate), certificate});
    }
    return issuers;
}

QByteArray derOf(X509 *certificate)
{
    unsigned char *encoded = nullptr;
    const int length = i2d_X509(certificate, &encoded);
    const QByteArray der = length > 0 ? QByteArray(reinterpret_cast<const char *>(encoded), length)
                                      : QByteArray();
    OPENSSL_free(encoded);
    return der;
}

} // namespace

ResponseCryptoProcessor::ResponseCryptoProcessor(const QByteArray &envelope)
    : m_requiredPolicyOid(serverPolicyOid), m_trustedIssuers(compiledInIssuers())
{
    QXmlStreamReader reader(envelope);
    m_response = deserializeResponse(reader);
    extractDataAndSignature(QByteArray::fromBase64(m_response.data.toUtf8()));
    verifySignerIsTrusted();
}

QString ResponseCryptoProcessor::getContent() const
{
    return m_content;
}

X509Certificate2Ultra ResponseCryptoProcessor::getSigner() const
{
    return m_signer;
}

QList<ResponseCryptoProcessor::TrustedIssuer> ResponseCryptoProcessor::compiledInIssuers()
{
    // Parsed once: the compiled-in certificates never change, and parsing a
    // certificate costs more than checking a whole answer.
    static const QList<TrustedIssuer> issuers = loadCompiledInIssuers();
    return issuers;
}

Response ResponseCryptoProcessor::deserializeResponse(QXmlStreamReader &reader)
{
    const Response response = Response::fromXml(reader);
    if (!response.error.isEmpty())
        throw AppException(TextExcerpt::of(response.error), APP_LOCATION, response.showError);
    if (response.data.isEmpty())
        throw AppException(QObject::tr("ResponseDataPartMissing"), APP_LOCATION, true);
    return response;
}

void ResponseCryptoProcessor::extractDataAndSignature(const QByteArray &der)
{
    // The %1 of a failure below tells only what went wrong here.
    ERR_clear_error();
    try {
        const BioPtr bio(BIO_new_mem_buf(der.constData(), der.size()));
        if (!bio)
            throw cmsError("Unable to load CMS to BIO: %1", APP_LOCATION);
        const CmsPtr cms(d2i_CMS_bio(bio.get(), nullptr));
        if (!cms)
            throw cmsError("Unable to parse CMS: %1", APP_LOCATION);
        ASN1_OCTET_STRING **content = CMS_get0_content(cms.get());
        if (!content || !*content)
            throw cmsError("Unable to get CMS content: %1", APP_LOCATION);

        m_content = QString::fromUtf8(reinterpret_cast<const char *>(ASN1_STRING_get0_data(*content)),
                                      ASN1_STRING_length(*content));
        qDebug() << "CMS content:" << TextExcerpt::of(m_content);
        m_signer = extractSignerAndVerifySignature(cms.get());
        qDebug() << "Signing certificate:" << TextExcerpt::of(m_signer.toPemString());
    } catch (const AppException &e) {
        qCritical().noquote() << "CMS processing error:" << e.toString(true);
        throw;
    }
}

X509Certificate2Ultra ResponseCryptoProcessor::extractSignerAndVerifySignature(CMS_ContentInfo *cms)
{
    // Only the signature is checked here, with the key of the certificate
    // inside the CMS; whether that certificate is trusted is decided by the
    // issuer table afterwards.
    const X509StorePtr store(X509_STORE_new());
    if (CMS_verify(cms, nullptr, store.get(), nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY) != 1)
        throw cmsError("CMS signature is not valid: %1", APP_LOCATION);

    const X509StackPtr signers(CMS_get0_signers(cms));
    if (!signers)
        throw cmsError("CMS does not contain signing certificates: %1", APP_LOCATION);
    if (sk_X509_num(signers.get()) != 1)
        throw fixedCmsError("CMS does not contain exactly one signing certificate", APP_LOCATION);
    X509 *signer = sk_X509_value(signers.get(), 0);
    if (!signer)
        throw fixedCmsError("Unable to extract signing certificate from CMS", APP_LOCATION);
    if (const auto known = TrustedSignerCache::instance().find(derOf(signer)))
        return known->certificate;

    const BioPtr pem(BIO_new(BIO_s_mem()));
    char *pemText = nullptr;
    long pemLength = 0;
    if (!pem || PEM_write_bio_X509(pem.get(), signer) != 1
        || (pemLength = BIO_get_mem_data(pem.get(), &pemText)) <= 0) {
        throw fixedCmsError("Unable to PEM encode signing certificate", APP_LOCATION);
    }
    return X509Certificate2Ultra(QByteArray(pemText, int(pemLength)), QSsl::Pem);
}

void ResponseCryptoProcessor::verifySignerIsTrusted() const
{
    if (const auto known = TrustedSignerCache::instance().find(m_signer)) {
        for (const QString &refusal : known->refusals)
            qDebug().noquote() << refusal;
        return;
    }
    QStringList refusals;
    for (const TrustedIssuer &issuer : m_trustedIssuers) {
        try {
            m_signer.verifyIssuer(issuer.certificate);
            m_signer.verifyCustomPolicy(m_requiredPolicyOid);
            TrustedSignerCache::instance().remember({m_signer.toDer(), m_signer, refusals});
            return;
        } catch (const AppException &e) {
            refusals << issuer.distinguishedName + QStringLiteral(" : ") + e.message();
            qDebug().noquote() << refusals.last();
        }
    }
    qDebug().noquote() << "Server certificate: " + TextExcerpt::of(m_signer.toPemString());
    throw AppException(QObject::tr("CommunicationMismatchUnstrustedServer"), APP_LOCATION, true);
}
