#include "x509certificate2ultra.h"

#include "appexception.h"

#include <QDateTime>
#include <QObject>
#include <QSslCertificateExtension>

#include <openssl/err.h>

#include <algorithm>
#include <array>

namespace {

const QString qcStatementsOid = QStringLiteral("1.3.6.1.5.5.7.1.3");
const QString basicConstraintsOid = QStringLiteral("2.5.29.19");
constexpr int oidBufferSize = 2048;

AppException technicalError(const char *message, const QString &file, int line,
                            const QString &function)
{
    return AppException(QString::fromLatin1(message), file, line, function, false);
}

QString firstOrUnknown(const QStringList &values)
{
    return values.isEmpty() ? QStringLiteral("Unknown") : values.first();
}

// "CN=a, O=b": every value of every attribute, in Qt's attribute order.
template <typename Attributes, typename ValuesOf>
QString oneLineName(const Attributes &attributes, ValuesOf valuesOf)
{
    QString text;
    for (const QByteArray &attribute : attributes) {
        for (const QString &value : valuesOf(attribute))
            text += QString::fromLatin1(attribute) + QLatin1Char('=') + value + QStringLiteral(", ");
    }
    text.chop(2);
    return text;
}

} // namespace

X509Certificate2Ultra::X509Certificate2Ultra() : QSslCertificate(QByteArray(), QSsl::Pem)
{
}

X509Certificate2Ultra::X509Certificate2Ultra(const QByteArray &data, QSsl::EncodingFormat format)
    : QSslCertificate(data, format)
{
}

X509Certificate2Ultra::X509Certificate2Ultra(const QSslCertificate &certificate)
    : QSslCertificate(certificate)
{
}

QByteArray X509Certificate2Ultra::getRawData() const
{
    return toDer();
}

QString X509Certificate2Ultra::toPemString() const
{
    const QByteArray pem = toPem();
    return QString::fromLatin1(pem.constData(), int(qstrnlen(pem.constData(), uint(pem.size()))));
}

X509Ptr X509Certificate2Ultra::toX509() const
{
    const QByteArray der = getRawData();
    if (der.isEmpty())
        return nullptr;
    BioPtr bio(BIO_new_mem_buf(der.constData(), der.size()));
    X509Ptr x509(bio ? d2i_X509_bio(bio.get(), nullptr) : nullptr);
    if (!x509)
        ERR_clear_error(); // the caller reports null in its own words
    return x509;
}

bool X509Certificate2Ultra::isValidNow() const
{
    // Certificates count in whole seconds; so does "now" here, which makes a
    // certificate not yet valid during the second it starts.
    const QDateTime now =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    return effectiveDate() < now && now < expiryDate();
}

QString X509Certificate2Ultra::readOid(const ASN1_OBJECT *object)
{
    std::array<char, oidBufferSize> buffer{};
    if (OBJ_obj2txt(buffer.data(), int(buffer.size()), object, 1) < 0)
        throw technicalError("Unable to convert OID to string", APP_LOCATION);
    return QString::fromUtf8(buffer.data(), int(qstrnlen(buffer.data(), buffer.size())));
}

void X509Certificate2Ultra::verifyIssuer(const X509Certificate2Ultra &issuer) const
{
    const X509Ptr issuerX509 = issuer.toX509();
    const X509Ptr subjectX509 = toX509();
    if (!issuerX509 || !subjectX509)
        throw AppException(QObject::tr("InvalidCertificate"), APP_LOCATION, true);

    // Names and key identifiers are public: anyone can copy them into a
    // certificate of their own, so the signature has to be checked as well.
    // Validity dates stay out on purpose (retired CAs still vouch for the
    // certificates they issued).
    const bool issued = X509_check_issued(issuerX509.get(), subjectX509.get()) == X509_V_OK;
    const bool signedByIssuer =
        issued && X509_verify(subjectX509.get(), X509_get0_pubkey(issuerX509.get())) == 1;
    ERR_clear_error();
    if (!signedByIssuer)
        throw AppException(QObject::tr("IssuerInvalid"), APP_LOCATION, true);
}

void X509Certificate2Ultra::verifyCustomPolicy(const QString &oid) const
{
    const X509Ptr x509 = toX509();
    if (!x509)
        throw technicalError("Unable to load X509 certificate", APP_LOCATION);

    const int index = X509_get_ext_by_NID(x509.get(), NID_certificate_policies, -1);
    if (index < 0)
        throw technicalError("Certificate does not contain 509v3 Certificate Policies extension",
                             APP_LOCATION);
    X509_EXTENSION *extension = X509_get_ext(x509.get(), index);
    if (!extension)
        throw technicalError("Unable to get 509v3 Certificate Policies extension", APP_LOCATION);

    const ASN1_OCTET_STRING *content = X509_EXTENSION_get_data(extension);
    if (!content || ASN1_STRING_length(content) < 1 || !ASN1_STRING_get0_data(content))
        throw technicalError("Unable to get content of 509v3 Certificate Policies extension",
                             APP_LOCATION);

    const unsigned char *cursor = ASN1_STRING_get0_data(content);
    const CertificatePoliciesPtr policies(
        d2i_CERTIFICATEPOLICIES(nullptr, &cursor, ASN1_STRING_length(content)));
    if (!policies) {
        ERR_clear_error();
        throw technicalError("Unable to parse 509v3 Certificate Policies extension", APP_LOCATION);
    }

    for (int i = 0; i < sk_POLICYINFO_num(policies.get()); ++i) {
        if (readOid(sk_POLICYINFO_value(policies.get(), i)->policyid) == oid)
            return;
    }
    throw AppException(QObject::tr("ResponseCertPolicyMissing"), APP_LOCATION, true);
}

QString X509Certificate2Ultra::displayName() const
{
    const QString serial = QString::fromLatin1(serialNumber()).toUpper().remove(QLatin1Char(':'));
    return firstOrUnknown(subjectInfo(QSslCertificate::CommonName)) + QStringLiteral(" - ")
           + firstOrUnknown(issuerInfo(QSslCertificate::CommonName)) + QStringLiteral(" - ")
           + serial;
}

bool X509Certificate2Ultra::isQualified() const
{
    const auto all = extensions();
    return std::any_of(all.cbegin(), all.cend(), [](const QSslCertificateExtension &extension) {
        return extension.oid() == qcStatementsOid;
    });
}

QVariant X509Certificate2Ultra::basicConstraints() const
{
    for (const QSslCertificateExtension &extension : extensions()) {
        if (extension.oid() == basicConstraintsOid)
            return extension.value();
    }
    return QVariant();
}

bool X509Certificate2Ultra::isCa() const
{
    return basicConstraints().toMap().value(QStringLiteral("ca")).toBool();
}

QString X509Certificate2Ultra::subjectDn() const
{
    return oneLineName(subjectInfoAttributes(),
                       [this](const QByteArray &attribute) { return subjectInfo(attribute); });
}

QString X509Certificate2Ultra::issuerDn() const
{
    return oneLineName(issuerInfoAttributes(),
                       [this](const QByteArray &attribute) { return issuerInfo(attribute); });
}
