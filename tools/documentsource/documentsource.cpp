#include "documentsource.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QMutexLocker>

// poppler-qt5.h or poppler-qt6.h, after the Qt the build uses
#include QUILLMARK_POPPLER_HEADER

namespace {

std::unique_ptr<Poppler::Document> loadDocument(const QByteArray &content)
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::loadFromData(content));
    if (!document || document->isLocked())
        return nullptr;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    return document;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

DocumentSource::DocumentSource(const QString &pdfPath)
{
    const QByteArray content = readFile(pdfPath);
    m_document = loadDocument(content);
    m_sha256 = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

DocumentSource::~DocumentSource() = default;

bool DocumentSource::isValid() const
{
    return m_document != nullptr;
}

int DocumentSource::pageCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_document ? m_document->numPages() : 0;
}

QString DocumentSource::documentId() const
{
    return QStringLiteral("DOC-") + QString::fromLatin1(m_sha256.toHex().left(12).toUpper());
}

QString DocumentSource::contentType() const
{
    return QStringLiteral("application/pdf");
}

QString DocumentSource::hashOid() const
{
    return QStringLiteral("2.16.840.1.101.3.4.2.1");
}

QString DocumentSource::hashValue() const
{
    return QString::fromLatin1(m_sha256.toBase64());
}

ProvingData DocumentSource::provingData() const
{
    ProvingData proving;
    proving.docId = documentId();
    proving.hashOid = hashOid();
    proving.hashValue = hashValue();
    return proving;
}

QByteArray DocumentSource::pagePng(int page, double dpi) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_document || page < 1 || page > m_document->numPages())
        return {};
    const std::unique_ptr<Poppler::Page> pdfPage(m_document->page(page - 1));
    if (!pdfPage)
        return {};
    const QImage image = pdfPage->renderToImage(dpi, dpi);
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}
