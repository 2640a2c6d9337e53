#pragma once

#include "answerrecord.h"
#include "signinitoutput.h"

#include <optional>

// Answer to the sign-init request: the hash to sign.
class SignInitResponse : public AnswerRecord
{
public:
    std::optional<SignInitOutput> signInitOutput;

    static SignInitResponse fromXml(QXmlStreamReader &reader);
};
