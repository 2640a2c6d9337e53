#include "signaturegeneratorfactory.h"

#include "appexception.h"

#include <QDebug>
#include <QObject>

std::unique_ptr<Pkcs11SignatureGenerator> SignatureGeneratorFactory::getInstance(
    const Configuration &configuration, const QList<StoreDefinition> &definitions,
    PinPrompt &pinPrompt)
{
    qDebug();
    if (definitions.isEmpty()) {
        throw AppException(QObject::tr("UntrustedModule").arg(configuration.getPkcs11Library()),
                           APP_LOCATION, true);
    }
    return std::make_unique<Pkcs11SignatureGenerator>(
        configuration.getPkcs11Library(), configuration.getPkcs11TokenLabel(),
        configuration.getPkcs11TokenSerial(), configuration.getSigningCertificate(),
        *definitions.first().moduleTrust(), pinPrompt);
}
