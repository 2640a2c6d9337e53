#pragma once

#include "answerrecord.h"
#include "signeddocument.h"

#include <optional>

// Answer to the sign-finish request: the signed document.
class SignFinishResponse : public AnswerRecord
{
public:
    std::optional<SignedDocument> signedDocument;

    static SignFinishResponse fromXml(QXmlStreamReader &reader);
};
