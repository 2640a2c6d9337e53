#include "signaturegeneratorfactory.h"

#include <QDebug>

std::unique_ptr<Pkcs11SignatureGenerator>
SignatureGeneratorFactory::getInstance(const Configuration &configuration, PinPrompt &pinPrompt)
{
    qDebug();
    return std::make_unique<Pkcs11SignatureGenerator>(
        configuration.getPkcs11Library(), configuration.getPkcs11TokenLabel(),
        configuration.getPkcs11TokenSerial(), configuration.getSigningCertificate(), pinPrompt);
}
