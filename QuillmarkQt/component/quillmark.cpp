#include "quillmark.h"

#include "appexception.h"
#include "closedialog.h"
#include "closingflag.h"
#include "functionlog.h"
#include "msgbox.h"
#include "pinform.h"
#include "pinformprompt.h"
#include "quillmarkversion.h"
#include "textexcerpt.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QtDebug>

namespace {

const QString translationPathPrefix = QStringLiteral("../share/translations/Quillmark_");

// A language tag ("sk", "en-US", "sr_Latn_RS"). The translator's search for a
// file drops "_" parts one at a time, which takes minutes on a long text, so
// nothing else reaches it.
const QRegularExpression languageTag(QStringLiteral("^[A-Za-z0-9_-]{1,35}$"));

} // namespace

Quillmark::Quillmark() : m_translator(std::make_unique<QTranslator>())
{
    connect(this, &Quillmark::quillmarkDone, this, &Quillmark::rejectPinForm, Qt::QueuedConnection);
    connect(this, &Quillmark::quillmarkDone, this, &Quillmark::rejectMsgBox, Qt::QueuedConnection);
    connect(this, &Quillmark::quillmarkDone, this, &Quillmark::rejectCloseDialog,
            Qt::QueuedConnection);
    connect(this, &Quillmark::quillmarkDone, this, &Quillmark::closeQuillmark,
            Qt::QueuedConnection);
}

Quillmark::~Quillmark()
{
    dispose(true);
}

void Quillmark::throwIfDisposed() const
{
    if (m_disposed) {
        throw AppException(QObject::tr("ObjectDisposed").arg(QStringLiteral("quillmark")),
                           APP_LOCATION, true);
    }
}

void Quillmark::dispose(bool closeWindow)
{
    if (m_disposed)
        return;
    if (closeWindow && m_mainWindow) {
        // The window goes whatever the user would answer, so the close
        // question must not be asked. Closing ends the workflow, which
        // forgets the window; both are still deleted right here, the window
        // first.
        ClosingFlag::raise();
        const QPointer<MainWindow> window = m_mainWindow;
        const QPointer<DocumentWorkflow> workflow = m_workflow;
        workflow->close();
        delete window.data();
        delete workflow.data();
        // The boxes of the window went with it; what waits without one
        // (a signing run's, a failed call's) goes too, and every answer
        // held by a box leaves now.
        MsgBox::terminate();
    }
    m_disposed = true;
}

bool Quillmark::isFormVisible() const
{
    return m_mainWindow && m_mainWindow->isVisible();
}

bool Quillmark::filterOnlyValidCerts() const
{
    return m_filterOnlyValidCerts;
}

bool Quillmark::filterOnlyQualifiedCerts() const
{
    return m_filterOnlyQualifiedCerts;
}

int Quillmark::pageCacheSize() const
{
    return m_pageCacheSize;
}

Quillmark::StoreDefinitions Quillmark::signingCertificateStores() const
{
    return m_signingCertificateStores;
}

void Quillmark::signDocument()
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    setupAndViewForm(false);
}

void Quillmark::viewDocument()
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    setupAndViewForm(true);
}

void Quillmark::setupAndViewForm(bool viewOnly)
{
    qDebug() << "Setting up";
    // A refused call must not take back a Terminate whose closing is still
    // queued: the flag is lowered only for a window that really opens.
    if (m_mainWindow)
        throw AppException(QObject::tr("ComponentAlreadyRunning"), APP_LOCATION, true);
    ClosingFlag::lower();
    m_terminationPending = false;

    // A window whose events nobody would receive is not kept. The window
    // goes before its workflow.
    auto workflow = std::make_unique<DocumentWorkflow>(
        viewOnly, m_signingCertificateStores, [] { return std::make_shared<PinFormPrompt>(); });
    auto window = std::make_unique<MainWindow>(*workflow, m_filterOnlyValidCerts,
                                               m_filterOnlyQualifiedCerts, m_pageCacheSize);
    connectWorkflowSignals(workflow.get());
    m_mainWindow = window.release();
    m_workflow = workflow.release();
    m_workflow->setParent(this);

    qDebug() << "Show mainWindow";
    const QScreen *screen = m_mainWindow->screen() ? m_mainWindow->screen()
                                                   : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    m_mainWindow->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                                  m_mainWindow->size().boundedTo(area.size()),
                                                  area));
    m_mainWindow->show();
}

template <typename Source, typename SourceSignal, typename EventSignal>
void Quillmark::forwardRequiredEvent(Source *source, SourceSignal signal, EventSignal event,
                                     const QString &eventName)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(event)))
        throw AppException(QObject::tr("EventHandlerNotSet").arg(eventName), APP_LOCATION, true);
    connect(source, signal, this, event);
}

template <typename Source, typename SourceSignal, typename EventSignal>
void Quillmark::forwardOptionalEvent(Source *source, SourceSignal signal, EventSignal event)
{
    if (isSignalConnected(QMetaMethod::fromSignal(event)))
        connect(source, signal, this, event);
}

void Quillmark::connectWorkflowSignals(DocumentWorkflow *workflow)
{
    forwardRequiredEvent(workflow, &DocumentWorkflow::needGetDocumentInfoEvent,
                         &Quillmark::needGetDocumentInfoEvent,
                         QStringLiteral("NeedGetDocumentInfoEvent"));
    forwardRequiredEvent(workflow, &DocumentWorkflow::needGetDocumentPageEvent,
                         &Quillmark::needGetDocumentPageEvent,
                         QStringLiteral("NeedGetDocumentPageEvent"));
    forwardRequiredEvent(workflow, &DocumentWorkflow::needSignInitEvent,
                         &Quillmark::needSignInitEvent, QStringLiteral("NeedSignInitEvent"));
    forwardRequiredEvent(workflow, &DocumentWorkflow::needSignFinishEvent,
                         &Quillmark::needSignFinishEvent, QStringLiteral("NeedSignFinishEvent"));
    forwardOptionalEvent(workflow, &DocumentWorkflow::loadConfigurationEvent,
                         qOverload<>(&Quillmark::loadConfigurationEvent));
    forwardOptionalEvent(workflow, &DocumentWorkflow::saveConfigurationEvent,
                         qOverload<const QString &>(&Quillmark::saveConfigurationEvent));
    // The window is scheduled for deletion before the page hears that it ended.
    connect(workflow, &DocumentWorkflow::signingProcessFinishedEvent, this,
            &Quillmark::intermediateSigningProcessFinishedEventHandler);
    forwardRequiredEvent(workflow, &DocumentWorkflow::signingProcessFinishedEvent,
                         &Quillmark::signingProcessFinishedEvent,
                         QStringLiteral("SigningProcessFinishedEvent"));
}

void Quillmark::processGetDocumentInfoResponse(const QString &response)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (m_mainWindow)
        m_workflow->processGetDocumentInfoResponse(response);
}

void Quillmark::processGetDocumentPageResponse(const QString &response)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (m_mainWindow)
        m_workflow->processGetDocumentPageResponse(response);
}

void Quillmark::processSignInitResponse(const QString &response)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (m_mainWindow)
        m_workflow->processSignInitResponse(response);
}

void Quillmark::processSignFinishResponse(const QString &response)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (m_mainWindow)
        m_workflow->processSignFinishResponse(response);
}

void Quillmark::bringToFront()
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (!m_mainWindow)
        return;
    m_mainWindow->showNormal();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void Quillmark::setFilterOnlyValidCerts(bool flag)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    m_filterOnlyValidCerts = flag;
}

void Quillmark::setFilterOnlyQualifiedCerts(bool flag)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    m_filterOnlyQualifiedCerts = flag;
}

void Quillmark::setLanguage(const QString &language)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (!languageTag.match(language).hasMatch()) {
        throw AppException(QObject::tr("UnsupportedLanguage").arg(TextExcerpt::of(language)),
                           APP_LOCATION, true);
    }
    const QString code = language.section(QLatin1Char('-'), 0, 0);
    // Loading empties a translator before it reads the file, so the new
    // catalogue goes into a fresh one: a failure keeps the installed one.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(translationPathPrefix + code))
        throw AppException(QObject::tr("UnsupportedLanguage").arg(language), APP_LOCATION, true);
    if (!QCoreApplication::installTranslator(translator.get())) {
        QCoreApplication::removeTranslator(translator.get());
        throw AppException(QObject::tr("LanguageInstallationFailed").arg(language), APP_LOCATION,
                           true);
    }
    QCoreApplication::removeTranslator(m_translator.get());
    m_translator = std::move(translator);
}

void Quillmark::setPageCacheSize(int size)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    m_pageCacheSize = qMax(size, 0);
}

void Quillmark::setSigningCertificateStores(const QString &definition)
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    m_signingCertificateStores = StoreDefinition::parseList(definition);
}

QString Quillmark::getVersion()
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    return QString::fromLatin1(QuillmarkVersion::component);
}

void Quillmark::terminate()
{
    LOG_FUNCTION_START();
    ClosingFlag::raise();
    m_terminationPending = true;
    emit quillmarkDone();
}

bool Quillmark::terminationApplies() const
{
    return m_terminationPending;
}

void Quillmark::loadConfigurationEvent(const QString &configuration)
{
    LOG_FUNCTION_START();
    qDebug() << "Loading configuration";
    if (m_mainWindow)
        m_workflow->configurationLoaded(configuration);
}

void Quillmark::saveConfigurationEvent(bool saved)
{
    LOG_FUNCTION_START();
    qDebug() << "Saving configuration" << saved;
    if (m_mainWindow)
        m_workflow->configurationSaved(saved);
}

void Quillmark::rejectPinForm()
{
    LOG_FUNCTION_START();
    if (terminationApplies())
        PinForm::terminate();
}

void Quillmark::rejectMsgBox()
{
    LOG_FUNCTION_START();
    if (terminationApplies())
        MsgBox::terminate();
}

void Quillmark::rejectCloseDialog()
{
    LOG_FUNCTION_START();
    if (terminationApplies())
        CloseDialog::terminate();
}

void Quillmark::closeQuillmark()
{
    LOG_FUNCTION_START();
    throwIfDisposed();
    if (!terminationApplies())
        return;
    m_terminationPending = false;
    // Closing ends the workflow, and its end schedules the deletion and
    // forgets the window.
    if (m_mainWindow)
        m_workflow->close();
}

void Quillmark::intermediateSigningProcessFinishedEventHandler(bool successful)
{
    qDebug() << "Workflow finished, successful:" << successful;
    if (!m_mainWindow)
        return;
    // The window goes first: it calls its workflow until it is gone.
    m_mainWindow->deleteLater();
    m_workflow->deleteLater();
    m_mainWindow = nullptr;
    m_workflow = nullptr;
}
