#pragma once

#include "docdata.h"

#include <optional>

class QXmlStreamReader;

// The server's result of the signing.
class SignedDocument
{
public:
    std::optional<DocData> document;
    std::optional<DocData> externalSignature;

    static SignedDocument fromXml(QXmlStreamReader &reader);
};
