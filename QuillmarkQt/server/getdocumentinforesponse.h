#pragma once

#include "answerrecord.h"
#include "docinfo.h"

#include <optional>

// Answer to the document-information request.
class GetDocumentInfoResponse : public AnswerRecord
{
public:
    std::optional<DocInfo> docInfo;

    static GetDocumentInfoResponse fromXml(QXmlStreamReader &reader);
};
