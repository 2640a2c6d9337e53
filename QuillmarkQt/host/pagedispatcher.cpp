#include "pagedispatcher.h"

#include "appexception.h"
#include "msgbox.h"
#include "pendinganswer.h"
#include "quillmark.h"
#include "textexcerpt.h"

#include <QApplication>
#include <QtDebug>

#include <climits>
#include <cmath>
#include <iterator>

namespace {

// How a handler reads its argument.

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

// The page's methods: the name, the handler and, in its template arguments,
// how the argument is read. A new method is a row here and, unless the
// component already has it, one handler.
const PageDispatcher::Method PageDispatcher::s_methods[] = {
    {"CreateInstance", &PageDispatcher::createInstance},
    {"DisposeInstance", &PageDispatcher::disposeInstance},
    {"SignDocument", &PageDispatcher::call<&IQuillmark::signDocument>},
    {"ViewDocument", &PageDispatcher::call<&IQuillmark::viewDocument>},
    {"ProcessGetDocumentInfoResponse",
     &PageDispatcher::call<&IQuillmark::processGetDocumentInfoResponse, textOf>},
    {"ProcessGetDocumentPageResponse",
     &PageDispatcher::call<&IQuillmark::processGetDocumentPageResponse, textOf>},
    {"ProcessSignInitResponse",
     &PageDispatcher::call<&IQuillmark::processSignInitResponse, textOf>},
    {"ProcessSignFinishResponse",
     &PageDispatcher::call<&IQuillmark::processSignFinishResponse, textOf>},
    {"Terminate", &PageDispatcher::call<&IQuillmark::terminate>},
    {"BringToFront", &PageDispatcher::call<&IQuillmark::bringToFront>},
    {"SetFilterOnlyValidCerts",
     &PageDispatcher::call<&IQuillmark::setFilterOnlyValidCerts, booleanOf>},
    {"SetFilterOnlyQualifiedCerts",
     &PageDispatcher::call<&IQuillmark::setFilterOnlyQualifiedCerts, booleanOf>},
    {"SetLanguage", &PageDispatcher::call<&IQuillmark::setLanguage, textOf>},
    {"SetPageCacheSize", &PageDispatcher::call<&IQuillmark::setPageCacheSize, integerOf>},
    {"SetSigningCertificateStores",
     &PageDispatcher::call<&IQuillmark::setSigningCertificateStores, textOf>},
    {"GetVersion", &PageDispatcher::version},
};

// The events: the name, how the component's request becomes the event, and
// what serves the page's answer to it. The page answers only the two
// configuration requests.
const PageDispatcher::Event PageDispatcher::s_events[] = {
    {"NeedGetDocumentInfoEvent", &PageDispatcher::forward<&Quillmark::needGetDocumentInfoEvent>,
     nullptr},
    {"NeedGetDocumentPageEvent", &PageDispatcher::forward<&Quillmark::needGetDocumentPageEvent>,
     nullptr},
    {"NeedSignInitEvent", &PageDispatcher::forward<&Quillmark::needSignInitEvent>, nullptr},
    {"NeedSignFinishEvent", &PageDispatcher::forward<&Quillmark::needSignFinishEvent>, nullptr},
    {"LoadConfigurationEvent", &PageDispatcher::forwardConfigurationRequest,
     &PageDispatcher::call<qOverload<const QString &>(&Quillmark::loadConfigurationEvent), textOf>},
    {"SaveConfigurationEvent",
     &PageDispatcher::forward<qOverload<const QString &>(&Quillmark::saveConfigurationEvent)>,
     &PageDispatcher::call<qOverload<bool>(&Quillmark::saveConfigurationEvent), booleanOf>},
    {"SigningProcessFinishedEvent",
     &PageDispatcher::forward<&Quillmark::signingProcessFinishedEvent>, nullptr},
};

namespace {

// "GetVersion" names this build's platform whatever tag the page uses.
constexpr const char *versionPlatformTag = "qt";

// The platform part of a wire name sits after the version, which has two
// dots of its own: "Quillmark.1.0.7.<platform>.QES.<name>".
constexpr int platformPartIndex = 4;

template <typename Row, size_t count>
QStringList qualifiedNames(const Row (&rows)[count], const QString &version,
                           const QString &platform)
{
    QStringList names;
    for (const Row &row : rows) {
        names.append(QStringLiteral("Quillmark.%1.%2.QES.%3")
                         .arg(version, platform, QLatin1String(row.name)));
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

} // namespace

PageDispatcher::PageDispatcher(const QString &componentVersion, const QString &platform, Send send,
                               QObject *parent)
    : QObject(parent), m_send(std::move(send)), m_componentVersion(componentVersion)
{
    buildNameTables(platform);
}

PageDispatcher::~PageDispatcher()
{
    // Before the name tables go: the component's window still makes its
    // last requests while it closes.
    m_component.reset();
}

Quillmark *PageDispatcher::component() const
{
    return m_component.get();
}

bool PageDispatcher::isFormVisible() const
{
    return m_component && m_component->isFormVisible();
}

void PageDispatcher::buildNameTables(const QString &platform)
{
    m_methodNames = qualifiedNames(s_methods, m_componentVersion, platform);
    m_eventNames = qualifiedNames(s_events, m_componentVersion, platform);
}

void PageDispatcher::detectPlatform()
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

void PageDispatcher::dispatch(const QJsonObject &message)
{
    const bool isMethod = message.value(QLatin1String("method")).isString();
    if (!isMethod && !message.value(QLatin1String("event")).isString()) {
        reportFailure(AppException(QObject::tr("NoMethodOrEventSpecified"), APP_LOCATION, false),
                      isFormVisible());
        return;
    }
    // Every failure ends here as the error answer; nothing leaves into the
    // event loop.
    try {
        if (isMethod)
            serveMethod(message);
        else
            serveEvent(message);
    } catch (const AppException &e) {
        failCall(isMethod, e);
    } catch (const std::exception &e) {
        failCall(isMethod, AppException(QString::fromLocal8Bit(e.what()), APP_LOCATION, false));
    }
}

void PageDispatcher::failCall(bool isMethod, const AppException &e)
{
    if (isMethod)
        sendAnswer(e.message(), m_currentName, QJsonValue::Null);
    else
        sendEvent(m_currentName, QJsonArray{e.message()});
    const QString failed =
        isMethod ? QStringLiteral("Method %1 failed.") : QStringLiteral("Event %1 failed.");
    reportFailure(AppException(failed.arg(m_currentName), e, APP_LOCATION, false), isFormVisible());
}

void PageDispatcher::reportFailure(const AppException &e, bool formVisible)
{
    qWarning() << e.message();
    if (formVisible)
        MsgBox::showError(QApplication::activeWindow(), QObject::tr("AppName"), e);
}

void PageDispatcher::serveMethod(const QJsonObject &message)
{
    m_currentKind = QStringLiteral("Method");
    m_currentName = TextExcerpt::of(message.value(QLatin1String("method")).toString());
    detectPlatform();
    const int index = m_methodNames.indexOf(m_currentName);
    if (index < 0)
        throwNotImplemented();
    // A box that the call opens holds the answer back until it is closed.
    auto result = std::make_shared<QJsonValue>();
    PendingAnswer::Scope answer(
        [this, name = m_currentName, result] { sendAnswer(QJsonValue::Null, name, *result); });
    try {
        const Handler handler = s_methods[index].handler;
        *result = (this->*handler)(firstArgument(message));
    } catch (...) {
        answer.cancel();
        throw;
    }
}

void PageDispatcher::serveEvent(const QJsonObject &message)
{
    m_currentKind = QStringLiteral("Event");
    m_currentName = TextExcerpt::of(message.value(QLatin1String("event")).toString());
    const int index = m_eventNames.indexOf(m_currentName);
    if (index < 0)
        throwNotImplemented();
    const Handler answerHandler = s_events[index].answerHandler;
    if (!answerHandler) {
        throw AppException(QObject::tr("MissingImplementation").arg(m_currentName), APP_LOCATION,
                           false);
    }
    (this->*answerHandler)(message.value(QLatin1String("result")));
}

Quillmark &PageDispatcher::liveComponent() const
{
    if (!m_component)
        throwNotImplemented();
    return *m_component;
}

void PageDispatcher::throwNotImplemented() const
{
    throw AppException(QObject::tr("MessageNotImplemented").arg(m_currentKind, m_currentName)
                           + QObject::tr("QuillmarkInstanceDoesNotExist"),
                       APP_LOCATION, false);
}

template <auto handler, auto... read>
QJsonValue PageDispatcher::call([[maybe_unused]] const QJsonValue &argument)
{
    (liveComponent().*handler)(read(argument)...);
    return QJsonValue::Null;
}

QJsonValue PageDispatcher::createInstance(const QJsonValue &)
{
    m_component.reset();
    m_component = std::make_unique<Quillmark>();
    // The member pointer is read out of the row first: GCC's bounds check
    // misreads a call through a member pointer taken straight from an array
    // element and reports a wild index.
    for (int event = 0; event < static_cast<int>(std::size(s_events)); ++event) {
        const Forwarder forwarder = s_events[event].forwarder;
        (this->*forwarder)(event);
    }
    connect(qApp, &QCoreApplication::aboutToQuit, m_component.get(), &Quillmark::terminate);
    m_component->setLanguage(QStringLiteral("en"));
    return QJsonValue::Null;
}

QJsonValue PageDispatcher::disposeInstance(const QJsonValue &)
{
    liveComponent().dispose(true);
    m_component.reset();
    return QJsonValue::Null;
}

QJsonValue PageDispatcher::version(const QJsonValue &)
{
    return QStringLiteral("%1 (%2)").arg(liveComponent().getVersion(),
                                         QLatin1String(versionPlatformTag));
}

template <auto request>
void PageDispatcher::forward(int event)
{
    forwardArguments(request, event);
}

template <typename Result, typename... Arguments>
void PageDispatcher::forwardArguments(Result (Quillmark::*request)(Arguments...), int event)
{
    connect(m_component.get(), request, this, [this, event](Arguments... arguments) {
        sendEvent(event, QJsonArray{QJsonValue(arguments)...});
    });
}

void PageDispatcher::forwardConfigurationRequest(int event)
{
    // The page expects one empty argument.
    connect(m_component.get(), qOverload<>(&Quillmark::loadConfigurationEvent), this,
            [this, event] { sendEvent(event, QJsonArray{QStringLiteral("")}); });
}

void PageDispatcher::sendAnswer(const QJsonValue &error, const QString &method,
                                const QJsonValue &result)
{
    // QJsonObject keeps its members sorted by name, which is exactly the
    // order the page expects: error, method, result.
    m_send(QJsonDocument(
        QJsonObject{{QStringLiteral("error"), TextExcerpt::of(error, TextExcerpt::maxAnswerLength)},
                    {QStringLiteral("method"), method},
                    {QStringLiteral("result"), result}}));
}

void PageDispatcher::sendEvent(const QString &event, const QJsonArray &args)
{
    // Sorted members again: args before event.
    m_send(QJsonDocument(
        QJsonObject{{QStringLiteral("args"), args}, {QStringLiteral("event"), event}}));
}

void PageDispatcher::sendEvent(int event, const QJsonArray &args)
{
    sendEvent(m_eventNames.at(event), args);
}
