#pragma once
// A stand-in for the update-check service on 127.0.0.1, shared by the checker and window tests.
#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

// Answers every GET with a fixed status and body, and keeps each request line.
class StandInService : public QTcpServer {
  public:
    explicit StandInService(std::string Body = "", int Status = 200, bool Answer = true)
        : body(std::move(Body)), status(Status), answer(Answer) {
        connect(this, &QTcpServer::newConnection, this, &StandInService::Accept);
        listen(QHostAddress::LocalHost, 0);
    }

    std::string Base(const std::string& Scheme = "http") const {
        return Scheme + "://127.0.0.1:" + std::to_string(serverPort());
    }

    std::string body;
    int status;
    bool answer;
    std::vector<std::string> request_lines;
    int disconnects = 0;

  private:
    void Accept() {
        while (QTcpSocket* s = nextPendingConnection()) {
            auto head = std::make_shared<std::string>();
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                ++disconnects;
                s->deleteLater();
            });
            connect(s, &QTcpSocket::readyRead, s, [this, s, head] {
                const QByteArray data = s->readAll();
                if (head->find("\r\n\r\n") != std::string::npos)
                    return;
                head->append(data.constData(), static_cast<std::size_t>(data.size()));
                if (head->find("\r\n\r\n") == std::string::npos)
                    return;
                request_lines.push_back(head->substr(0, head->find("\r\n")));
                if (!answer)
                    return;
                const std::string reply =
                    "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
                    "\r\nContent-Type: text/plain\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
                s->write(reply.data(), static_cast<qint64>(reply.size()));
                s->disconnectFromHost();
            });
        }
    }
};

// Runs the event loop until Done holds; a generous bound only keeps a broken build from
// hanging the test run.
template <typename F> bool SpinUntil(F Done) {
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(60000);
    while (!Done() && bound.isActive())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return Done();
}
