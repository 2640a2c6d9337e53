// Writes the seed inputs of the fuzz targets from the project's own writers:
// answer records, signed envelopes and configuration texts as the server and
// the programs produce them.
//   makecorpus <corpus directory>
#include "answerrecordwriter.h"
#include "configuration.h"
#include "responsesigner.h"
#include "signingidentity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>

#include <cstdio>

namespace {

QDir g_corpus;

void seed(const QString &target, const QByteArray &input)
{
    g_corpus.mkpath(target);
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex());
    QFile file(g_corpus.filePath(target + QLatin1Char('/') + name));
    if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
}

QByteArray frame(const QByteArray &json)
{
    const quint32 length = static_cast<quint32>(json.size());
    QByteArray framed;
    for (int shift = 0; shift < 32; shift += 8)
        framed.append(static_cast<char>((length >> shift) & 0xff));
    return framed + json;
}

QByteArray call(const char *shortName, const QByteArray &argument = QByteArray())
{
    QByteArray json = QByteArray("{\"method\":\"Quillmark.1.0.7.qt.QES.") + shortName + "\"";
    if (!argument.isNull())
        json += ",\"args\":[" + argument + "]";
    return frame(json + "}");
}

ProvingData provingData()
{
    ProvingData data;
    data.docId = QStringLiteral("doc-1");
    data.hashOid = QStringLiteral("2.16.840.1.101.3.4.2.1");
    data.hashValue = QStringLiteral("q83vEjRWeJA=");
    return data;
}

QList<QString> answerRecords()
{
    GetDocumentInfoResponse info;
    info.nonce = QStringLiteral("nonce-1");
    info.sessionId = QStringLiteral("session-1");
    info.provingData = {provingData()};
    info.docInfo = DocInfo{true, QStringLiteral("application/pdf"), 3};

    GetDocumentPageResponse page;
    page.nonce = QStringLiteral("nonce-2");
    page.sessionId = info.sessionId;
    page.pageNumber = 2;
    page.page = DocData{QStringLiteral("doc-1"), QStringLiteral("page 2"), QByteArray("\x89PNG", 4)};

    SignInitResponse init;
    init.nonce = QStringLiteral("nonce-3");
    init.sessionId = info.sessionId;
    init.signInitOutput = SignInitOutput{QStringLiteral("3031300d060960864801650304020105000420"),
                                         QStringLiteral("1.2.840.113549.1.1.11")};

    SignFinishResponse finish;
    finish.nonce = QStringLiteral("nonce-4");
    finish.sessionId = info.sessionId;
    finish.signedDocument = SignedDocument{DocData{QStringLiteral("doc-1"), QStringLiteral("signed"),
                                                   QByteArray("%PDF-1.4")},
                                           std::nullopt};
    return {AnswerRecordWriter::toXml(info), AnswerRecordWriter::toXml(page),
            AnswerRecordWriter::toXml(init), AnswerRecordWriter::toXml(finish)};
}

void answerRecordSeeds(const QList<QString> &records)
{
    for (const QString &record : records)
        seed(QStringLiteral("answerrecords"), record.toUtf8());
}

void envelopeSeeds(const QList<QString> &records)
{
    const ResponseSigner trusted(SigningIdentity::development(QStringLiteral("server-2014")));
    const ResponseSigner impostor(SigningIdentity::development(QStringLiteral("server-impostor")));
    for (const QString &record : records.mid(0, 2)) {
        seed(QStringLiteral("envelope"), trusted.envelope(record, QStringLiteral("n")).toUtf8());
        seed(QStringLiteral("envelope"), trusted.signedData(record.toUtf8()));
    }
    seed(QStringLiteral("envelope"), impostor.signedData(records.first().toUtf8()));
    seed(QStringLiteral("envelope"),
         ResponseSigner(trusted).withDetachedContent().signedData(records.first().toUtf8()));
    seed(QStringLiteral("envelope"),
         "<Response><Error>ServerFailure</Error><ShowError>true</ShowError></Response>");
}

void dispatchSeeds()
{
    seed(QStringLiteral("framedispatch"),
         call("CreateInstance") + call("SetLanguage", "\"sk\"")
             + call("SetSigningCertificateStores", "\"Token|/usr/lib/softhsm/libsofthsm2.so\"")
             + call("SetFilterOnlyValidCerts", "true") + call("SetPageCacheSize", "\"1024\"")
             + call("GetVersion") + call("DisposeInstance"));
    seed(QStringLiteral("framedispatch"),
         call("CreateInstance") + call("ProcessGetDocumentInfoResponse", "\"<Response/>\"")
             + frame("{\"event\":\"Quillmark.1.0.7.qt.QES.LoadConfigurationEvent\",\"result\":\"\"}")
             + call("Terminate"));
    seed(QStringLiteral("framedispatch"), frame("[1,2,3]") + frame("") + frame("{\"method\":5}"));
}

void configurationSeeds()
{
    Configuration configuration;
    configuration.setPkcs11Library(QStringLiteral("/usr/lib/softhsm/libsofthsm2.so"));
    configuration.setPkcs11TokenLabel(QStringLiteral("Quillmark <test> & co"));
    configuration.setPkcs11TokenSerial(QStringLiteral("0123456789abcdef"));
    configuration.setSigningCertificate(
        SigningIdentity::development(QStringLiteral("server-2014")).certificatePem);
    seed(QStringLiteral("signingconfiguration"), configuration.serialize().toUtf8());
    seed(QStringLiteral("signingconfiguration"), Configuration().serialize().toUtf8());

    const QList<QByteArray> stores = {"Token|/usr/lib/softhsm/libsofthsm2.so", "|PKCS11|Other|CSP",
                                      "|CSP", "a|b|c"};
    for (const QByteArray &definition : stores)
        seed(QStringLiteral("storedefinitions"), definition);
}

void updaterSeeds()
{
    seed(QStringLiteral("updaterdocuments"),
         "<?xml version=\"1.0\"?>\n<Quillmark>\n  <version>1.0.7</version>\n"
         "  <url>https://updates.example.invalid/version.xml</url>\n"
         "  <downloadUrl>https://updates.example.invalid/quillmark_amd64.deb</downloadUrl>\n"
         "</Quillmark>\n");
    seed(QStringLiteral("updaterdocuments"),
         "<Quillmark><version>1.1.0</version><url>https://example.invalid/news</url></Quillmark>");
    for (const QByteArray &version : {QByteArray("1.0.7"), QByteArray("1..3"),
                                      QByteArray("2.0.0.1"), QByteArray("-1.x.99999999999")})
        seed(QStringLiteral("version"), version);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makecorpus <corpus directory>\n");
        return 2;
    }
    g_corpus = QDir(QString::fromLocal8Bit(argv[1]));
    const QList<QString> records = answerRecords();
    answerRecordSeeds(records);
    envelopeSeeds(records);
    dispatchSeeds();
    configurationSeeds();
    updaterSeeds();
    return 0;
}
