#pragma once

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <memory>

#include <unistd.h>

class AppException;
class Quillmark;
class ReadThread;
class WriteThread;

// The application object of quillmark: owns the reader and writer threads of
// the native-messaging channel and the one component, dispatches the page's
// method calls and event answers on the GUI thread and turns the component's
// requests into events for the page.
class NativeMessagingHost : public QApplication
{
    Q_OBJECT

public:
    // The method and event tables, in the order of their wire names.
    enum Method {
        CreateInstance,
        DisposeInstance,
        SignDocument,
        ViewDocument,
        ProcessGetDocumentInfoResponse,
        ProcessGetDocumentPageResponse,
        ProcessSignInitResponse,
        ProcessSignFinishResponse,
        Terminate,
        BringToFront,
        SetFilterOnlyValidCerts,
        SetFilterOnlyQualifiedCerts,
        SetLanguage,
        SetPageCacheSize,
        SetSigningCertificateStores,
        GetVersion,
        MethodCount
    };
    enum Event {
        NeedGetDocumentInfoEvent,
        NeedGetDocumentPageEvent,
        NeedSignInitEvent,
        NeedSignFinishEvent,
        LoadConfigurationEvent,
        SaveConfigurationEvent,
        SigningProcessFinishedEvent,
        EventCount
    };

    NativeMessagingHost(int &argc, char **argv, const QString &componentVersion,
                        const QString &platform, int inputDescriptor = STDIN_FILENO,
                        int outputDescriptor = STDOUT_FILENO);
    ~NativeMessagingHost() override;

    bool notify(QObject *receiver, QEvent *event) override;

    // The component created by "CreateInstance", or none.
    Quillmark *component() const;

public slots:
    void processMessage(const QJsonObject &incoming);

    void needGetDocumentInfo(const QString &nonce);
    void needGetDocumentPage(int page, const QString &nonce);
    void needSignInit(const QString &certificate, const QString &nonce);
    void needSignFinish(const QString &signature, const QString &nonce);
    void loadConfiguration();
    void saveConfiguration(const QString &data);
    void signingProcessFinished(bool successfull);

private:
    void processMethodMessage(const QJsonObject &message);
    void processEventMessage(const QJsonObject &message);

    void buildNameTables(const QString &platform);
    void detectPlatform();
    void createInstance();
    QJsonValue callComponent(Method method, const QJsonValue &argument);
    [[noreturn]] void throwNotImplemented(const QString &kind) const;
    // Answers a failed call with its error.
    void failCall(bool isMethod, const AppException &e);
    // Logs a failed call and, while the window is visible, shows it.
    void reportFailure(const AppException &e);
    bool isFormVisible() const;

    void sendAnswer(const QJsonValue &error, const QString &method, const QJsonValue &result);
    void sendEvent(Event event, const QJsonArray &args);
    void sendEvent(const QString &event, const QJsonArray &args);

    std::unique_ptr<Quillmark> m_component;
    ReadThread *m_readThread;
    WriteThread *m_writeThread;
    QStringList m_methodNames;
    QStringList m_eventNames;
    QString m_currentName;
    QString m_platform;
    QString m_componentVersion;
};
