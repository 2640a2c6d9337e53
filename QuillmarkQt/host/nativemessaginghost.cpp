#include "nativemessaginghost.h"

#include "appexception.h"
#include "msgbox.h"
#include "pendinganswer.h"
#include "quillmark.h"
#include "readthread.h"
#include "textexcerpt.h"
#include "writethread.h"

#include <QException>
#include <QJsonDocument>
#include <QtDebug>

#include <climits>
#include <cmath>
#include <memory>

namespace {

constexpr unsigned long threadStopMilliseconds = 100;

// Destroying a QThread that still runs aborts the process. A thread that has
// not stopped in its time (the writer blocked on a browser that no longer
// reads) is left to end with the process instead.
void deleteIfStopped(QThread *thread)
{
    if (!thread->isRunning()) {
        delete thread;
        return;
    }
    qWarning() << "Thread" << thread->metaObject()->className() << "did not stop in time";
}

const char *const methodShortNames[NativeMessagingHost::MethodCount] = {
    "CreateInstance",
    "DisposeInstance",
    "SignDocument",
    "ViewDocument",
    "ProcessGetDocumentInfoResponse",
    "ProcessGetDocumentPageResponse",
    "ProcessSignInitResponse",
    "ProcessSignFinishResponse",
    "Terminate",
    "BringToFront",
    "SetFilterOnlyValidCerts",
    "SetFilterOnlyQualifiedCerts",
    "SetLanguage",
    "SetPageCacheSize",
    "SetSigningCertificateStores",
    "GetVersion",
};

const char *const eventShortNames[NativeMessagingHost::EventCount] = {
    "NeedGetDocumentInfoEvent",
    "NeedGetDocumentPageEvent",
    "NeedSignInitEvent",
    "NeedSignFinishEvent",
    "LoadConfigurationEvent",
    "SaveConfigurationEvent",
    "SigningProcessFinishedEvent",
};

// "GetVersion" names this build's platform whatever tag the page uses.
constexpr const char *versionPlatformTag = "qt";

// The platform part of a wire name sits after the version, which has two
// dots of its own: "Quillmark.1.0.7.<platform>.QES.<name>".
constexpr int platformPartIndex = 4;

QStringList qualifiedNames(const char *const *shortNames, int count, const QString &version,
                           const QString &platform)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(QStringLiteral("Quillmark.%1.%2.QES.%3")
                         .arg(version, platform, QLatin1String(shortNames[i])));
    }
    return names;
}

QJsonValue firstArgument(const QJsonObject &message)
{
    const QJsonValue args = message.value(QLatin1String("args"));
    if (!args.isArray() || args.toArray().isEmpty())
        return QJsonValue::Null;
    return args.toArray().first();
}

QString textOf(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

bool booleanOf(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool();
    return value.isString()
           && value.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

int integerOf(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().toInt(nullptr, 10);
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Converting a double outside the int range is undefined behaviour.
    const bool integral = std::trunc(number) == number && number >= INT_MIN && number <= INT_MAX;
    return integral ? static_cast<int>(number) : 0;
}

} // namespace

NativeMessagingHost::NativeMessagingHost(int &argc, char **argv,
                                         const QString &componentVersion,
                                         const QString &platform, int inputDescriptor,
                                         int outputDescriptor)
    : QApplication(argc, argv),
      m_readThread(new ReadThread(inputDescriptor)),
      m_writeThread(new WriteThread(outputDescriptor)),
      m_componentVersion(componentVersion)
{
    buildNameTables(platform);
    connect(m_readThread, &ReadThread::messageRead, this,
            &NativeMessagingHost::processMessage);
    m_readThread->start(QThread::InheritPriority);
    m_writeThread->start(QThread::InheritPriority);
}

NativeMessagingHost::~NativeMessagingHost()
{
    qDebug() << "Destroying NativeMessagingHost";
    m_readThread->requestInterruption();
    m_writeThread->requestInterruption();
    qDebug() << "Waiting for threads to close";
    m_readThread->wait(threadStopMilliseconds);
    m_writeThread->wait(threadStopMilliseconds);
    qDebug() << "Cleaning pointers";
    m_component.reset();
    deleteIfStopped(m_readThread);
    deleteIfStopped(m_writeThread);
    qDebug() << "Quitting application...";
}

Quillmark *NativeMessagingHost::component() const
{
    return m_component.get();
}

void NativeMessagingHost::buildNameTables(const QString &platform)
{
    m_methodNames = qualifiedNames(methodShortNames, MethodCount, m_componentVersion, platform);
    m_eventNames = qualifiedNames(eventShortNames, EventCount, m_componentVersion, platform);
}

void NativeMessagingHost::detectPlatform()
{
    if (!m_platform.isEmpty())
        return;
    const QStringList parts = m_currentName.split(QLatin1Char('.'));
    if (parts.size() <= platformPartIndex)
        return;
    // Whatever the first name carries is kept, so detection runs once; only
    // the platforms we know switch the names.
    m_platform = parts.at(platformPartIndex);
    if (m_platform == QLatin1String("net") || m_platform == QLatin1String("java"))
        buildNameTables(m_platform);
}

void NativeMessagingHost::processMessage(const QJsonObject &incoming)
{
    const bool isMethod = incoming.value(QLatin1String("method")).isString();
    if (!isMethod && !incoming.value(QLatin1String("event")).isString()) {
        reportFailure(AppException(QObject::tr("NoMethodOrEventSpecified"), APP_LOCATION, false));
        return;
    }
    // Every failure ends here as the error answer; nothing leaves into the
    // event loop.
    try {
        if (isMethod)
            processMethodMessage(incoming);
        else
            processEventMessage(incoming);
    } catch (const AppException &e) {
        failCall(isMethod, e);
    } catch (const std::exception &e) {
        failCall(isMethod, AppException(QString::fromLocal8Bit(e.what()), APP_LOCATION, false));
    }
}

void NativeMessagingHost::failCall(bool isMethod, const AppException &e)
{
    if (isMethod)
        sendAnswer(e.message(), m_currentName, QJsonValue::Null);
    else
        sendEvent(m_currentName, QJsonArray{e.message()});
    const QString failed = isMethod ? QStringLiteral("Method %1 failed.") : QStringLiteral("Event %1 failed.");
    reportFailure(AppException(failed.arg(m_currentName), e, APP_LOCATION, false));
}

void NativeMessagingHost::reportFailure(const AppException &e)
{
    qWarning() << e.message();
    if (isFormVisible())
        MsgBox::showError(activeWindow(), QObject::tr("AppName"), e);
}

void NativeMessagingHost::processMethodMessage(const QJsonObject &message)
{
    m_currentName = TextExcerpt::of(message.value(QLatin1String("method")).toString());
    detectPlatform();

    if (m_currentName == m_methodNames.at(CreateInstance)) {
        createInstance();
        sendAnswer(QJsonValue::Null, m_methodNames.at(CreateInstance), QJsonValue::Null);
        return;
    }
    const int index = m_methodNames.indexOf(m_currentName);
    if (!m_component || index < 0)
        throwNotImplemented(QStringLiteral("Method"));
    // A box that the call opens holds the answer back until it is closed.
    auto result = std::make_shared<QJsonValue>();
    PendingAnswer::Scope answer([this, name = m_methodNames.at(index), result] {
        sendAnswer(QJsonValue::Null, name, *result);
    });
    try {
        *result = callComponent(static_cast<Method>(index), firstArgument(message));
    } catch (...) {
        answer.cancel();
        throw;
    }
}

void NativeMessagingHost::createInstance()
{
    m_component.reset();
    m_component = std::make_unique<Quillmark>();
    Quillmark *component = m_component.get();
    connect(component, &Quillmark::needGetDocumentInfoEvent, this,
            &NativeMessagingHost::needGetDocumentInfo);
    connect(component, &Quillmark::needGetDocumentPageEvent, this,
            &NativeMessagingHost::needGetDocumentPage);
    connect(component, &Quillmark::needSignInitEvent, this, &NativeMessagingHost::needSignInit);
    connect(component, &Quillmark::needSignFinishEvent, this,
            &NativeMessagingHost::needSignFinish);
    connect(component, qOverload<>(&Quillmark::loadConfigurationEvent), this,
            &NativeMessagingHost::loadConfiguration);
    connect(component, qOverload<const QString &>(&Quillmark::saveConfigurationEvent), this,
            &NativeMessagingHost::saveConfiguration);
    connect(component, &Quillmark::signingProcessFinishedEvent, this,
            &NativeMessagingHost::signingProcessFinished);
    connect(this, &QCoreApplication::aboutToQuit, component, &Quillmark::terminate);
    component->setLanguage(QStringLiteral("en"));
}

QJsonValue NativeMessagingHost::callComponent(Method method, const QJsonValue &argument)
{
    Quillmark &component = *m_component;
    switch (method) {
    case CreateInstance:
    case MethodCount:
        break;
    case DisposeInstance:
        component.dispose(true);
        m_component.reset();
        break;
    case SignDocument:
        component.signDocument();
        break;
    case ViewDocument:
        component.viewDocument();
        break;
    case ProcessGetDocumentInfoResponse:
        component.processGetDocumentInfoResponse(textOf(argument));
        break;
    case ProcessGetDocumentPageResponse:
        component.processGetDocumentPageResponse(textOf(argument));
        break;
    case ProcessSignInitResponse:
        component.processSignInitResponse(textOf(argument));
        break;
    case ProcessSignFinishResponse:
        component.processSignFinishResponse(textOf(argument));
        break;
    case Terminate:
        component.terminate();
        break;
    case BringToFront:
        component.bringToFront();
        break;
    case SetFilterOnlyValidCerts:
        component.setFilterOnlyValidCerts(booleanOf(argument));
        break;
    case SetFilterOnlyQualifiedCerts:
        component.setFilterOnlyQualifiedCerts(booleanOf(argument));
        break;
    case SetLanguage:
        component.setLanguage(textOf(argument));
        break;
    case SetPageCacheSize:
        component.setPageCacheSize(integerOf(argument));
        break;
    case SetSigningCertificateStores:
        component.setSigningCertificateStores(textOf(argument));
        break;
    case GetVersion:
        return QStringLiteral("%1 (%2)").arg(component.getVersion(),
                                             QLatin1String(versionPlatformTag));
    }
    return QJsonValue::Null;
}

void NativeMessagingHost::processEventMessage(const QJsonObject &message)
{
    m_currentName = TextExcerpt::of(message.value(QLatin1String("event")).toString());
    const int index = m_eventNames.indexOf(m_currentName);
    const QJsonValue result = message.value(QLatin1String("result"));

    switch (index) {
    case NeedGetDocumentInfoEvent:
    case NeedGetDocumentPageEvent:
    case NeedSignInitEvent:
    case NeedSignFinishEvent:
    case SigningProcessFinishedEvent:
        throw AppException(QObject::tr("MissingImplementation").arg(m_currentName),
                           APP_LOCATION, false);
    case LoadConfigurationEvent:
        if (m_component) {
            m_component->loadConfigurationEvent(textOf(result));
            return;
        }
        break;
    case SaveConfigurationEvent:
        if (m_component) {
            m_component->saveConfigurationEvent(booleanOf(result));
            return;
        }
        break;
    }
    throwNotImplemented(QStringLiteral("Event"));
}

void NativeMessagingHost::throwNotImplemented(const QString &kind) const
{
    throw AppException(QObject::tr("MessageNotImplemented").arg(kind, m_currentName)
                           + QObject::tr("QuillmarkInstanceDoesNotExist"),
                       APP_LOCATION, false);
}

bool NativeMessagingHost::isFormVisible() const
{
    return m_component && m_component->isFormVisible();
}

bool NativeMessagingHost::notify(QObject *receiver, QEvent *event)
{
    // The last guard: page calls are answered and their failures reported
    // in processMessage; this catches what other event handlers let out.
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppException &e) {
        reportFailure(e);
    } catch (const QUnhandledException &e) {
        qWarning() << e.what();
        if (isFormVisible()) {
            MsgBox::showErrorWithDetail(activeWindow(), QObject::tr("AppName"),
                                        QObject::tr("GeneralExceptionMessage"),
                                        QString::fromLocal8Bit(e.what()));
        }
    } catch (...) {
        qCritical() << "Unknown exception.";
    }
    return true;
}

void NativeMessagingHost::sendAnswer(const QJsonValue &error, const QString &method,
                                     const QJsonValue &result)
{
    // QJsonObject keeps its members sorted by name, which is exactly the
    // order the page expects: error, method, result.
    m_writeThread->write(QJsonDocument(
        QJsonObject{{QStringLiteral("error"), TextExcerpt::of(error, TextExcerpt::maxAnswerLength)},
                    {QStringLiteral("method"), method},
                    {QStringLiteral("result"), result}}));
}

void NativeMessagingHost::sendEvent(const QString &event, const QJsonArray &args)
{
    // Sorted members again: args before event.
    m_writeThread->write(QJsonDocument(
        QJsonObject{{QStringLiteral("args"), args}, {QStringLiteral("event"), event}}));
}

void NativeMessagingHost::sendEvent(Event event, const QJsonArray &args)
{
    sendEvent(m_eventNames.at(event), args);
}

void NativeMessagingHost::needGetDocumentInfo(const QString &nonce)
{
    sendEvent(NeedGetDocumentInfoEvent, QJsonArray{nonce});
}

void NativeMessagingHost::needGetDocumentPage(int page, const QString &nonce)
{
    sendEvent(NeedGetDocumentPageEvent, QJsonArray{page, nonce});
}

void NativeMessagingHost::needSignInit(const QString &certificate, const QString &nonce)
{
    sendEvent(NeedSignInitEvent, QJsonArray{certificate, nonce});
}

void NativeMessagingHost::needSignFinish(const QString &signature, const QString &nonce)
{
    sendEvent(NeedSignFinishEvent, QJsonArray{signature, nonce});
}

void NativeMessagingHost::loadConfiguration()
{
    sendEvent(LoadConfigurationEvent, QJsonArray{QStringLiteral("")});
}

void NativeMessagingHost::saveConfiguration(const QString &data)
{
    sendEvent(SaveConfigurationEvent, QJsonArray{data});
}

void NativeMessagingHost::signingProcessFinished(bool successfull)
{
    sendEvent(SigningProcessFinishedEvent, QJsonArray{successfull});
}
