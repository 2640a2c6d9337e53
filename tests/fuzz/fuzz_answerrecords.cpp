// The four readers of the records inside a server answer, each over the same
// bytes: a reader must end on any input with whatever it could read.
#include "fuzzsupport.h"

#include "getdocumentinforesponse.h"
#include "getdocumentpageresponse.h"
#include "signfinishresponse.h"
#include "signinitresponse.h"

#include <QXmlStreamReader>

namespace {

template <typename Record>
void readRecord(const QString &xml)
{
    QXmlStreamReader reader(xml);
    const Record record = Record::fromXml(reader);
    (void)record.nonce.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QString xml = FuzzSupport::text(data, size);
    readRecord<GetDocumentInfoResponse>(xml);
    readRecord<GetDocumentPageResponse>(xml);
    readRecord<SignInitResponse>(xml);
    readRecord<SignFinishResponse>(xml);
    return 0;
}
