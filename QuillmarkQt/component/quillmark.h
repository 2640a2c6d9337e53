#pragma once

#include "documentworkflow.h"
#include "iquillmark.h"
#include "mainwindow.h"
#include "storedefinition.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTranslator>
#include <QWidget>

#include <memory>

// The signing component that the page creates with "CreateInstance". It keeps
// the settings for the next document window, makes the window and its
// workflow, passes the page's answers on to the workflow and re-emits the
// workflow's requests to the page.
class Quillmark : public QObject, public IQuillmark
{
    Q_OBJECT

public:
    // The page's stores, in its order: each a module it names or a kind of
    // store whose module the user chooses later.
    using StoreDefinitions = QList<StoreDefinition>;

    static constexpr int defaultPageCacheSize = 32 * 1024 * 1024;

    Quillmark();
    ~Quillmark() override;

    void dispose(bool closeWindow);
    bool isFormVisible() const;

    bool filterOnlyValidCerts() const;
    bool filterOnlyQualifiedCerts() const;
    int pageCacheSize() const;
    StoreDefinitions signingCertificateStores() const;

public slots:
    void signDocument() override;
    void viewDocument() override;
    void processGetDocumentInfoResponse(const QString &response) override;
    void processGetDocumentPageResponse(const QString &response) override;
    void processSignInitResponse(const QString &response) override;
    void processSignFinishResponse(const QString &response) override;
    void bringToFront() override;
    void setFilterOnlyValidCerts(bool flag) override;
    void setFilterOnlyQualifiedCerts(bool flag) override;
    void setLanguage(const QString &language) override;
    void setPageCacheSize(int size) override;
    void setSigningCertificateStores(const QString &definition) override;
    QString getVersion() override;
    void terminate() override;

    // The page's answers to the two configuration requests.
    void loadConfigurationEvent(const QString &configuration);
    void saveConfigurationEvent(bool saved);

    void intermediateSigningProcessFinishedEventHandler(bool successful);
    void rejectPinForm();
    void rejectMsgBox();
    void rejectCloseDialog();
    void closeQuillmark();

signals:
    void needGetDocumentInfoEvent(const QString &nonce);
    void needGetDocumentPageEvent(int page, const QString &nonce);
    void needSignInitEvent(const QString &certificate, const QString &nonce);
    void needSignFinishEvent(const QString &signature, const QString &nonce);
    QString loadConfigurationEvent();
    bool saveConfigurationEvent(const QString &data);
    void signingProcessFinishedEvent(bool successful);
    void quillmarkDone();

private:
    void throwIfDisposed() const;
    void setupAndViewForm(bool viewOnly);
    void connectWorkflowSignals(DocumentWorkflow *workflow);
    // Passes a signal of the workflow on as the event of the same name, which
    // the page must listen to.
    template <typename Source, typename SourceSignal, typename EventSignal>
    void forwardRequiredEvent(Source *source, SourceSignal signal, EventSignal event,
                              const QString &eventName);
    template <typename Source, typename SourceSignal, typename EventSignal>
    void forwardOptionalEvent(Source *source, SourceSignal signal, EventSignal event);
    // False once a window opened after the Terminate that queued the caller:
    // a close request applies only to the window open when it came.
    bool terminationApplies() const;

    // The open document window and its workflow, a child of the component;
    // both are set or both are null.
    QPointer<MainWindow> m_mainWindow;
    QPointer<DocumentWorkflow> m_workflow;
    // Set by terminate() until its queued steps have run.
    bool m_terminationPending = false;
    bool m_filterOnlyValidCerts = false;
    bool m_filterOnlyQualifiedCerts = false;
    int m_pageCacheSize = defaultPageCacheSize;
    StoreDefinitions m_signingCertificateStores;
    std::unique_ptr<QTranslator> m_translator;
    bool m_disposed = false;
};
