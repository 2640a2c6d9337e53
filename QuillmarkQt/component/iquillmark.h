#pragma once

#include <QString>

// What the web page can ask of the signing component.
class IQuillmark
{
public:
    virtual void signDocument() = 0;
    virtual void viewDocument() = 0;
    virtual void processGetDocumentInfoResponse(const QString &response) = 0;
    virtual void processGetDocumentPageResponse(const QString &response) = 0;
    virtual void processSignInitResponse(const QString &response) = 0;
    virtual void processSignFinishResponse(const QString &response) = 0;
    virtual void terminate() = 0;
    virtual void bringToFront() = 0;
    virtual void setFilterOnlyValidCerts(bool flag) = 0;
    virtual void setFilterOnlyQualifiedCerts(bool flag) = 0;
    virtual void setLanguage(const QString &language) = 0;
    virtual void setPageCacheSize(int size) = 0;
    virtual void setSigningCertificateStores(const QString &definition) = 0;
    virtual QString getVersion() = 0;

protected:
    // Owners hold the concrete component; nobody deletes through the interface.
    ~IQuillmark() = default;
};
