#pragma once

#include "provingdata.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <memory>

namespace Poppler {
class Document;
}

// A PDF as the signing server sees it: its identity, hash and pages rendered
// to PNG. Safe to use from several server threads.
class DocumentSource
{
public:
    static constexpr double defaultDpi = 96.0;

    explicit DocumentSource(const QString &pdfPath);
    ~DocumentSource();

    DocumentSource(const DocumentSource &) = delete;
    DocumentSource &operator=(const DocumentSource &) = delete;

    bool isValid() const;
    int pageCount() const;
    // "DOC-" and the first twelve hexadecimal digits of the file's SHA-256.
    QString documentId() const;
    QString contentType() const;
    // Dotted OID of SHA-256 and the Base64 file hash, as proving data carries them.
    QString hashOid() const;
    QString hashValue() const;
    // The three together, as every answer about this document names it.
    ProvingData provingData() const;

    // Page counted from 1; empty when the page does not exist.
    QByteArray pagePng(int page, double dpi = defaultDpi) const;

private:
    std::unique_ptr<Poppler::Document> m_document;
    QByteArray m_sha256;
    mutable QMutex m_mutex;
};
