#include "answerrecordwriter.h"

#include <QtTest>

namespace {

template <typename Record>
Record read(const QString &xml)
{
    QXmlStreamReader reader(xml);
    return Record::fromXml(reader);
}

const ProvingData documentA{QStringLiteral("A"), QStringLiteral("2.16.840.1.101.3.4.2.1"),
                            QStringLiteral("q83vEjRWeJA=")};
const ProvingData documentB{QStringLiteral("B"), QStringLiteral("1.3.14.3.2.26"),
                            QStringLiteral("3q2+7w==")};

template <typename Record>
Record withSharedFields()
{
    Record record;
    record.nonce = QStringLiteral("{0b5e2c1a-0000-4000-8000-00000000000a}");
    record.sessionId = QStringLiteral("session <1> & \"2\"");
    record.provingData = {documentA, documentB};
    return record;
}

template <typename Record>
void compareSharedFields(const Record &actual, const Record &expected)
{
    QCOMPARE(actual.nonce, expected.nonce);
    QCOMPARE(actual.sessionId, expected.sessionId);
    QCOMPARE(actual.provingData, expected.provingData);
}

DocData part(const char *docId, const char *name, const QByteArray &data)
{
    return DocData{QString::fromLatin1(docId), QString::fromLatin1(name), data};
}

} // namespace

class TestAnswerRecords : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_workDir.isValid());
        QVERIFY(QDir::setCurrent(m_workDir.path()));
        QFile::remove(errorFile());
    }

    void documentInfoRoundTrip()
    {
        auto record = withSharedFields<GetDocumentInfoResponse>();
        record.docInfo = DocInfo{true, QStringLiteral("application/pdf"), 12};
        const auto read = ::read<GetDocumentInfoResponse>(AnswerRecordWriter::toXml(record));
        compareSharedFields(read, record);
        QVERIFY(read.docInfo);
        QVERIFY(read.docInfo->usableForZep);
        QCOMPARE(read.docInfo->contentType, QStringLiteral("application/pdf"));
        QCOMPARE(read.docInfo->pages, 12);
    }

    void pageRoundTrip()
    {
        auto record = withSharedFields<GetDocumentPageResponse>();
        record.pageNumber = 7;
        record.page = part("A", "page-7.png", "iVBORw0KGgo=");
        const auto read = ::read<GetDocumentPageResponse>(AnswerRecordWriter::toXml(record));
        compareSharedFields(read, record);
        QCOMPARE(read.pageNumber, 7);
        QVERIFY(read.page);
        QCOMPARE(read.page->docId, QStringLiteral("A"));
        QCOMPARE(read.page->name, QStringLiteral("page-7.png"));
        QCOMPARE(read.page->data, QByteArray("iVBORw0KGgo="));
        QVERIFY(!QFile::exists(errorFile()));
    }

    void signInitRoundTrip()
    {
        auto record = withSharedFields<SignInitResponse>();
        record.signInitOutput = SignInitOutput{QStringLiteral("a1b2c3"), QStringLiteral("2.16.840.1.101.3.4.2.1")};
        const auto read = ::read<SignInitResponse>(AnswerRecordWriter::toXml(record));
        compareSharedFields(read, record);
        QVERIFY(read.signInitOutput);
        QCOMPARE(read.signInitOutput->dataToSign, QStringLiteral("a1b2c3"));
        QCOMPARE(read.signInitOutput->signatureAlgorithmOID, QStringLiteral("2.16.840.1.101.3.4.2.1"));
    }

    void signFinishRoundTrip()
    {
        auto record = withSharedFields<SignFinishResponse>();
        record.signedDocument = SignedDocument{part("A", "signed.pdf", "JVBERi0="), part("A", "sig.p7s", "MIIB")};
        const auto read = ::read<SignFinishResponse>(AnswerRecordWriter::toXml(record));
        compareSharedFields(read, record);
        QVERIFY(read.signedDocument && read.signedDocument->document
                && read.signedDocument->externalSignature);
        QCOMPARE(read.signedDocument->document->name, QStringLiteral("signed.pdf"));
        QCOMPARE(read.signedDocument->externalSignature->name, QStringLiteral("sig.p7s"));
        QCOMPARE(read.signedDocument->externalSignature->data, QByteArray("MIIB"));
    }

    void absentSubRecordsStayAbsent()
    {
        const auto info = read<GetDocumentInfoResponse>(QStringLiteral("<GetDocumentInfoResponse/>"));
        QVERIFY(!info.docInfo);
        QVERIFY(info.provingData.isEmpty());
        const auto page = read<GetDocumentPageResponse>(QStringLiteral("<GetDocumentPageResponse/>"));
        QVERIFY(!page.page);
        QCOMPARE(page.pageNumber, 0);
        const auto finish = read<SignFinishResponse>(
            QStringLiteral("<SignFinishResponse><SignedDocument><Document><Name>d</Name></Document>"
                           "</SignedDocument></SignFinishResponse>"));
        QVERIFY(finish.signedDocument->document);
        QVERIFY(!finish.signedDocument->externalSignature);
    }

    void provingDataContainer()
    {
        const auto two = read<SignInitResponse>(QStringLiteral(
            "<SignInitResponse><ProvingData>"
            "<ProvingData><DocId>A</DocId><HashOid>o</HashOid><HashValue>v</HashValue></ProvingData>"
            "<ProvingData><DocId>B</DocId></ProvingData>"
            "</ProvingData><Nonce>n</Nonce></SignInitResponse>"));
        QCOMPARE(two.provingData.size(), 2);
        QCOMPARE(two.provingData.at(0), (ProvingData{QStringLiteral("A"), QStringLiteral("o"), QStringLiteral("v")}));
        QCOMPARE(two.provingData.at(1).docId, QStringLiteral("B"));
        QCOMPARE(two.nonce, QStringLiteral("n"));

        const auto bare = read<SignInitResponse>(QStringLiteral(
            "<SignInitResponse><ProvingData><DocId>A</DocId><HashOid>o</HashOid>"
            "<HashValue>v</HashValue></ProvingData><Nonce>n</Nonce></SignInitResponse>"));
        QVERIFY(bare.provingData.isEmpty());
        QCOMPARE(bare.nonce, QStringLiteral("n"));
    }

    void provingDataEqualityIsExact()
    {
        ProvingData other = documentA;
        QCOMPARE(other, documentA);
        other.hashValue = other.hashValue.toLower();
        QVERIFY(other != documentA);
    }

    void usableForZepOnlyExactTrue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("usable");
        QTest::newRow("true") << "true" << true;
        QTest::newRow("True") << "True" << false;
        QTest::newRow("1") << "1" << false;
        QTest::newRow("padded") << " true" << false;
    }

    void usableForZepOnlyExactTrue()
    {
        QFETCH(QString, text);
        QFETCH(bool, usable);
        const auto record = read<GetDocumentInfoResponse>(
            QStringLiteral("<GetDocumentInfoResponse><DocInfo><UsableForZep>%1</UsableForZep>"
                           "<Pages>x3</Pages></DocInfo></GetDocumentInfoResponse>").arg(text));
        QCOMPARE(record.docInfo->usableForZep, usable);
        QCOMPARE(record.docInfo->pages, 0);
    }

    void knownNamesAtAnyDepthAndUnderAnyRoot()
    {
        const auto record = read<GetDocumentPageResponse>(QStringLiteral(
            "<Something><Wrapper><Nonce>deep</Nonce></Wrapper><PageNumber>4</PageNumber>"
            "</Something><!-- after the root -->"));
        QCOMPARE(record.nonce, QStringLiteral("deep"));
        QCOMPARE(record.pageNumber, 4);
        QVERIFY(!QFile::exists(errorFile()));
    }

    void laterOccurrenceReplacesEarlier()
    {
        const auto record = read<GetDocumentInfoResponse>(QStringLiteral(
            "<GetDocumentInfoResponse><Nonce>first</Nonce><DocInfo><Pages>2</Pages></DocInfo>"
            "<ProvingData><ProvingData><DocId>A</DocId></ProvingData><ProvingData><DocId>B</DocId>"
            "</ProvingData></ProvingData><Nonce>second</Nonce><DocInfo><ContentType>t</ContentType>"
            "</DocInfo><ProvingData><ProvingData><DocId>C</DocId></ProvingData></ProvingData>"
            "</GetDocumentInfoResponse>"));
        QCOMPARE(record.nonce, QStringLiteral("second"));
        QCOMPARE(record.docInfo->pages, 0);
        QCOMPARE(record.docInfo->contentType, QStringLiteral("t"));
        QCOMPARE(record.provingData.size(), 1);
        QCOMPARE(record.provingData.at(0).docId, QStringLiteral("C"));
    }

    void elementInsideTextEndsReading()
    {
        const auto record = read<SignInitResponse>(QStringLiteral(
            "<SignInitResponse><Nonce>n</Nonce><SessionId>s<b>x</b></SessionId>"
            "<SignInitOutput><DataToSign>ab</DataToSign></SignInitOutput></SignInitResponse>"));
        QCOMPARE(record.nonce, QStringLiteral("n"));
        QVERIFY(!record.signInitOutput);
        QVERIFY(!QFile::exists(errorFile()));
    }

    void brokenPageLeavesOneLinePerReading()
    {
        const QString broken = QStringLiteral(
            "<GetDocumentPageResponse><Nonce>n</Nonce><PageNumber>2</PageNumber><Page><Data>AA</Page>");
        const auto record = read<GetDocumentPageResponse>(broken);
        QCOMPARE(record.nonce, QStringLiteral("n"));
        QCOMPARE(record.pageNumber, 2);
        QCOMPARE(errorLines().size(), 1);
        read<GetDocumentPageResponse>(broken);
        const QStringList lines = errorLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(!lines.first().isEmpty());

        // Only the page reader keeps such a record.
        read<SignFinishResponse>(broken);
        QCOMPARE(errorLines().size(), 2);
    }

private:
    static QString errorFile() { return QStringLiteral("xmlHasError.txt"); }

    static QStringList errorLines()
    {
        QFile file(errorFile());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir m_workDir;
};

QTEST_GUILESS_MAIN(TestAnswerRecords)
#include "tst_answerrecords.moc"
