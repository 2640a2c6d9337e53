#pragma once

#include "getdocumentinforesponse.h"
#include "getdocumentpageresponse.h"
#include "signfinishresponse.h"
#include "signinitresponse.h"

#include <QString>

// Writes the XML of the four answer records, as the signing server sends
// them inside the signed envelope. Absent sub-records are left out.
class AnswerRecordWriter
{
public:
    static QString toXml(const GetDocumentInfoResponse &record);
    static QString toXml(const GetDocumentPageResponse &record);
    static QString toXml(const SignInitResponse &record);
    static QString toXml(const SignFinishResponse &record);
};
