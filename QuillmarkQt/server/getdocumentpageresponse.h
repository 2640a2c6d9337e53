#pragma once

#include "answerrecord.h"
#include "docdata.h"

#include <optional>

// Answer to a page request.
class GetDocumentPageResponse : public AnswerRecord
{
public:
    std::optional<DocData> page;
    // Counted from 1.
    int pageNumber = 0;

    // A page that does not parse leaves the parser's complaint in
    // "xmlHasError.txt" in the current directory.
    static GetDocumentPageResponse fromXml(QXmlStreamReader &reader);
};
