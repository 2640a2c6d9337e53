#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class AppException;
class X509Certificate2Ultra;

// What the document workflow has shown to the person: the document window,
// or a plain stand-in in tests. Boxes and the close question return at once;
// their continuation runs once the person has answered, and never when the
// view has gone meanwhile. The answer of the page call that opened a box goes
// out after its continuation has run.
class DocumentView
{
public:
    using Continuation = std::function<void()>;
    using CloseAnswer = std::function<void(bool mayClose)>;

    // The wait panel of a request; it blocks the tool strips until hidden.
    virtual void showWaitPanel(const QString &text) = 0;
    virtual void hideWaitPanel() = 0;
    virtual void disableToolStrips() = 0;
    virtual void enableToolStrips() = 0;

    virtual void showDocumentTitle(const X509Certificate2Ultra &serverCertificate,
                                   const QString &docId) = 0;
    // Page `page` of `pages` is the current one, shown or on its way.
    virtual void showPagePosition(int page, int pages) = 0;
    // False when the page is not at hand and has to be asked for.
    virtual bool showCachedPage(int page) = 0;
    // Reads the image data of the current page, keeps and shows it; false
    // when it is no page image.
    virtual bool showPageImage(int page, const QByteArray &imageData) = 0;
    virtual void hidePage() = 0;
    virtual void focusPage() = 0;

    // A null certificate: none is chosen, and signing is not offered.
    virtual void showSigningCertificate(const X509Certificate2Ultra &certificate) = 0;

    virtual void showError(const AppException &e, Continuation then) = 0;
    virtual void showError(const QString &message, Continuation then) = 0;
    virtual void showErrorWithDetail(const QString &message, const QString &details) = 0;
    virtual void showInfo(const QString &message, Continuation then) = 0;
    virtual void askToClose(CloseAnswer answered) = 0;
    // The workflow has ended and told the page.
    virtual void hideDocument() = 0;

protected:
    // The workflow does not own its view.
    ~DocumentView() = default;
};
