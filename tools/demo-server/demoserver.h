#pragma once

#include "browsersessions.h"
#include "demoanswers.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace httplib {
class Request;
class Response;
class Server;
} // namespace httplib

// The development signing server as a small web application on 127.0.0.1:
// serves the demo page and answers its JSON requests with signed envelopes
// for the document, its pages and the two signing steps. After sign-finish
// it checks the signature against the certificate that came with sign-init
// and offers the signed result for download.
class DemoServer
{
public:
    struct Options
    {
        QString pdfPath;
        QString pageDirectory;
        // Certificate store definition the page hands to quillmark.
        QString storeDefinition;
        SigningIdentity server;
        // Receives one line per step of every exchange.
        std::function<void(const QString &)> log;
    };

    explicit DemoServer(const Options &options);
    ~DemoServer();

    DemoServer(const DemoServer &) = delete;
    DemoServer &operator=(const DemoServer &) = delete;

    // Listens on 127.0.0.1 (port 0: any free port) on a thread of its own.
    // Returns false when the port cannot be bound.
    bool start(int port = 0);
    void stop();
    int port() const;
    QString baseUrl() const;

private:
    struct Exchange;

    void addRoutes();
    void route(const char *method, const char *path,
               const std::function<QJsonObject(Exchange &)> &handler);

    QJsonObject settings(Exchange &exchange);
    QJsonObject documentInfo(Exchange &exchange);
    QJsonObject documentPage(Exchange &exchange);
    QJsonObject signInit(Exchange &exchange);
    QJsonObject signFinish(Exchange &exchange);
    QJsonObject loadConfiguration(Exchange &exchange);
    QJsonObject saveConfiguration(Exchange &exchange);
    QJsonObject result(Exchange &exchange);
    void download(const httplib::Request &request, httplib::Response &response);

    QJsonObject answer(const QString &envelope) const;
    void log(const QString &line) const;

    Options m_options;
    DemoAnswers m_answers;
    BrowserSessions m_sessions;
    std::unique_ptr<httplib::Server> m_http;
    std::thread m_thread;
    int m_port = -1;
};
