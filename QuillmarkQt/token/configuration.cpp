#include "configuration.h"

#include "moduletrust.h"
#include "x509certificate2ultra.h"

#include <QDebug>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const QString rootElement = QStringLiteral("Configuration");
const QString cspStoreLocationElement = QStringLiteral("CspStoreLocation");
const QString cspStoreNameElement = QStringLiteral("CspStoreName");
const QString pkcs11LibraryElement = QStringLiteral("Pkcs11Library");
const QString pkcs11TokenLabelElement = QStringLiteral("Pkcs11TokenLabel");
const QString pkcs11TokenSerialElement = QStringLiteral("Pkcs11TokenSerial");
const QString signingCertificateElement = QStringLiteral("SigningCertificate");

} // namespace

QString Configuration::serialize() const
{
    qDebug();
    QString text;
    QXmlStreamWriter writer(&text);
    writer.writeStartDocument();
    writer.writeStartElement(rootElement);
    writer.writeTextElement(cspStoreLocationElement, m_cspStoreLocation);
    writer.writeTextElement(cspStoreNameElement, m_cspStoreName);
    writer.writeTextElement(pkcs11LibraryElement, m_pkcs11Library);
    writer.writeTextElement(pkcs11TokenLabelElement, m_pkcs11TokenLabel);
    writer.writeTextElement(pkcs11TokenSerialElement, m_pkcs11TokenSerial);
    writer.writeTextElement(signingCertificateElement,
                            QString::fromLatin1(m_signingCertificate.toBase64()));
    // writeEndDocument() would end the text with a line break; the stored
    // form is a single line.
    writer.writeEndElement();
    return text;
}

Configuration Configuration::deserialize(const QString &text)
{
    qDebug();
    Configuration configuration;
    const std::pair<QString, QString *> textFields[] = {
        {cspStoreLocationElement, &configuration.m_cspStoreLocation},
        {cspStoreNameElement, &configuration.m_cspStoreName},
        {pkcs11LibraryElement, &configuration.m_pkcs11Library},
        {pkcs11TokenLabelElement, &configuration.m_pkcs11TokenLabel},
        {pkcs11TokenSerialElement, &configuration.m_pkcs11TokenSerial},
    };
    QXmlStreamReader reader(text);
    while (!reader.atEnd() && !reader.hasError()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token != QXmlStreamReader::StartElement) {
            if (reader.name() == rootElement)
                break;
            continue;
        }
        const auto field = std::find_if(std::begin(textFields), std::end(textFields),
                                        [&reader](const auto &entry) { return reader.name() == entry.first; });
        if (field != std::end(textFields))
            *field->second = reader.readElementText();
        else if (reader.name() == signingCertificateElement)
            configuration.m_signingCertificate = QByteArray::fromBase64(reader.readElementText().toUtf8());
    }
    return configuration;
}

bool Configuration::isCspConfiguration() const
{
    return !m_cspStoreLocation.isEmpty() && !m_cspStoreName.isEmpty()
           && !m_signingCertificate.isEmpty() && m_pkcs11Library.isEmpty()
           && m_pkcs11TokenLabel.isEmpty() && m_pkcs11TokenSerial.isEmpty();
}

bool Configuration::isPkcs11Configuration() const
{
    return !m_pkcs11Library.isEmpty() && !m_pkcs11TokenSerial.isEmpty()
           && !m_signingCertificate.isEmpty() && m_cspStoreLocation.isEmpty()
           && m_cspStoreName.isEmpty()
           && !X509Certificate2Ultra(m_signingCertificate, QSsl::Der).isNull();
}

bool Configuration::isValid() const
{
    return !m_pkcs11Library.isEmpty() ? isPkcs11Configuration() : isCspConfiguration();
}

bool Configuration::isAvailableIn(const QList<Pkcs11CertStore> &stores) const
{
    // A valid configuration that is not a PKCS#11 one names a store kind
    // this platform never offers.
    if (!isPkcs11Configuration())
        return false;
    const auto offering =
        std::find_if(stores.cbegin(), stores.cend(), [this](const Pkcs11CertStore &store) {
            return store.isLibraryPathSelectable() || store.getLibraryPath() == m_pkcs11Library;
        });
    if (offering == stores.cend())
        return false;
    // The module comes from whoever stored the configuration.
    const ModuleTrust::Verdict verdict = offering->moduleTrust().check(m_pkcs11Library);
    if (!verdict.isTrusted())
        qWarning().noquote() << "Configuration not available:" << verdict.refusal;
    return verdict.isTrusted();
}

QString Configuration::getCspStoreLocation() const
{
    return m_cspStoreLocation;
}

void Configuration::setCspStoreLocation(const QString &value)
{
    m_cspStoreLocation = value;
}

QString Configuration::getCspStoreName() const
{
    return m_cspStoreName;
}

void Configuration::setCspStoreName(const QString &value)
{
    m_cspStoreName = value;
}

QString Configuration::getPkcs11Library() const
{
    return m_pkcs11Library;
}

void Configuration::setPkcs11Library(const QString &value)
{
    m_pkcs11Library = value;
}

QString Configuration::getPkcs11TokenLabel() const
{
    return m_pkcs11TokenLabel;
}

void Configuration::setPkcs11TokenLabel(const QString &value)
{
    m_pkcs11TokenLabel = value;
}

QString Configuration::getPkcs11TokenSerial() const
{
    return m_pkcs11TokenSerial;
}

void Configuration::setPkcs11TokenSerial(const QString &value)
{
    m_pkcs11TokenSerial = value;
}

QByteArray Configuration::getSigningCertificate() const
{
    return m_signingCertificate;
}

void Configuration::setSigningCertificate(const QByteArray &der)
{
    m_signingCertificate = der;
}

bool Configuration::operator==(const Configuration &other) const
{
    return m_cspStoreLocation == other.m_cspStoreLocation && m_cspStoreName == other.m_cspStoreName
           && m_pkcs11Library == other.m_pkcs11Library
           && m_pkcs11TokenLabel == other.m_pkcs11TokenLabel
           && m_pkcs11TokenSerial == other.m_pkcs11TokenSerial
           && m_signingCertificate == other.m_signingCertificate;
}

bool Configuration::operator!=(const Configuration &other) const
{
    return !(*this == other);
}
