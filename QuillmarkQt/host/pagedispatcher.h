#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AppException;
class Quillmark;

// Serves the page's messages on the GUI thread. Each method and each event
// is one row of the tables at the top of pagedispatcher.cpp: a method call
// goes to its row's handler and gets exactly one answer, its failure
// included; the component's requests leave as the events of their rows.
class PageDispatcher : public QObject
{
    Q_OBJECT

public:
    // Takes each document for the page; called on the GUI thread.
    using Send = std::function<void(const QJsonDocument &)>;

    PageDispatcher(const QString &componentVersion, const QString &platform, Send send,
                   QObject *parent = nullptr);
    ~PageDispatcher() override;

    // The component created by "CreateInstance", or none.
    Quillmark *component() const;
    bool isFormVisible() const;

    // Logs a failure and, while the document window is visible, shows it.
    static void reportFailure(const AppException &e, bool formVisible);

public slots:
    void dispatch(const QJsonObject &message);

private:
    // Serves a method call or the page's answer to an event, given its
    // first argument (null when it has none) or the answer's result; what
    // it returns is the result of the method's answer.
    using Handler = QJsonValue (PageDispatcher::*)(const QJsonValue &argument);
    // Connects the component's request to sending the event of this row.
    using Forwarder = void (PageDispatcher::*)(int event);

    struct Method
    {
        // The part after "Quillmark.<version>.<platform>.QES.".
        const char *name;
        Handler handler;
    };
    struct Event
    {
        const char *name;
        Forwarder forwarder;
        // Null for the events the page only receives.
        Handler answerHandler;
    };
    static const Method s_methods[];
    static const Event s_events[];

    // A handler that calls the component's member handler with the argument
    // as each of read (none or one) reads it.
    template <auto handler, auto... read>
    QJsonValue call(const QJsonValue &argument);
    QJsonValue createInstance(const QJsonValue &);
    QJsonValue disposeInstance(const QJsonValue &);
    QJsonValue version(const QJsonValue &);

    // A forwarder that sends every argument of the component's signal.
    template <auto request>
    void forward(int event);
    template <typename Result, typename... Arguments>
    void forwardArguments(Result (Quillmark::*request)(Arguments...), int event);
    void forwardConfigurationRequest(int event);

    void serveMethod(const QJsonObject &message);
    void serveEvent(const QJsonObject &message);
    // Answers a failed call with its error.
    void failCall(bool isMethod, const AppException &e);

    void buildNameTables(const QString &platform);
    void detectPlatform();
    // The component, or the failure of a message that needs one.
    Quillmark &liveComponent() const;
    [[noreturn]] void throwNotImplemented() const;

    void sendAnswer(const QJsonValue &error, const QString &method, const QJsonValue &result);
    void sendEvent(int event, const QJsonArray &args);
    void sendEvent(const QString &event, const QJsonArray &args);

    const Send m_send;
    const QString m_componentVersion;
    std::unique_ptr<Quillmark> m_component;
    QStringList m_methodNames;
    QStringList m_eventNames;
    // "Method" or "Event", and the name of the message being served.
    QString m_currentKind;
    QString m_currentName;
    QString m_platform;
};
