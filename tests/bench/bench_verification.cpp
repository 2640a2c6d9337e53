#include "answerrecordwriter.h"
#include "benchmain.h"
#include "opensslpointers.h"
#include "responsecryptoprocessor.h"
#include "responsesigner.h"

#include <benchmark/benchmark.h>

#include <openssl/cms.h>
#include <openssl/err.h>

// A server answer opened by ResponseCryptoProcessor, against the bare
// OpenSSL work that cannot be left out: parse the CMS and verify its
// signature.

namespace {

QString documentInfoRecord()
{
    GetDocumentInfoResponse record;
    record.nonce = QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}");
    record.sessionId = QStringLiteral("session-DOC-3a7bd3e2360a");
    ProvingData proving;
    proving.docId = QStringLiteral("DOC-3a7bd3e2360a");
    proving.hashOid = QStringLiteral("2.16.840.1.101.3.4.2.1");
    proving.hashValue = QStringLiteral("OqfAQ6pGhTz0Z0EVJ4zH1Kb3Ss7sP2pY1mJZb0G4F7Q=");
    record.provingData = {proving};
    DocInfo info;
    info.usableForZep = true;
    info.contentType = QStringLiteral("application/pdf");
    info.pages = 12;
    record.docInfo = info;
    return AnswerRecordWriter::toXml(record);
}

const ResponseSigner &signer()
{
    static const ResponseSigner instance(SigningIdentity::development(QStringLiteral("server-2014")));
    return instance;
}

const QByteArray &envelope()
{
    static const QByteArray bytes =
        signer().envelope(documentInfoRecord(), QStringLiteral("{0f8fad5b}")).toUtf8();
    return bytes;
}

const QByteArray &signedData()
{
    static const QByteArray der = signer().signedData(documentInfoRecord().toUtf8());
    return der;
}

} // namespace

static void BM_AnswerVerification_Host(benchmark::State &state)
{
    envelope();
    for (auto _ : state) {
        const ResponseCryptoProcessor processor(envelope());
        benchmark::DoNotOptimize(processor.getContent().size());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_AnswerVerification_Host)->Unit(benchmark::kMicrosecond);

static void BM_AnswerVerification_BareCms(benchmark::State &state)
{
    const QByteArray &der = signedData();
    for (auto _ : state) {
        const BioPtr bio(BIO_new_mem_buf(der.constData(), der.size()));
        const CmsPtr cms(d2i_CMS_bio(bio.get(), nullptr));
        const X509StorePtr store(X509_STORE_new());
        if (!cms
            || CMS_verify(cms.get(), nullptr, store.get(), nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY)
                   != 1) {
            state.SkipWithError("CMS_verify failed");
            break;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_AnswerVerification_BareCms)->Unit(benchmark::kMicrosecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
