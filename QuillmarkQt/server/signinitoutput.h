#pragma once

#include <QString>

class QXmlStreamReader;

// What the token has to sign.
class SignInitOutput
{
public:
    // Hexadecimal digits.
    QString dataToSign;
    // Dotted identifier, handed unchanged to the hash signer.
    QString signatureAlgorithmOID;

    static SignInitOutput fromXml(QXmlStreamReader &reader);
};
