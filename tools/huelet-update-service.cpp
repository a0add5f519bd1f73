// A local stand-in for the update-check service, for demonstrations and tests:
//   huelet-update-service VERSION [PORT]
// listens on 127.0.0.1 only (PORT, or a free port when absent or 0), prints its base address,
// then answers GET /tally/check.php with VERSION as the body and prints each request line.
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>
#include <string>

namespace {

void Answer(QTcpSocket* Socket, const std::string& RequestLine, const std::string& Version) {
    std::printf("%s\n", RequestLine.c_str());
    std::fflush(stdout);
    // "GET /tally/check.php?... HTTP/1.1": the target is the second word.
    const std::size_t start = RequestLine.find(' ');
    const std::size_t end = RequestLine.find(' ', start + 1);
    std::string target =
        start == std::string::npos
            ? std::string()
            : RequestLine.substr(start + 1,
                                 end == std::string::npos ? std::string::npos : end - start - 1);
    const std::string path = target.substr(0, target.find('?'));
    const bool found = RequestLine.rfind("GET ", 0) == 0 && path == "/tally/check.php";
    const std::string body = found ? Version : "Not Found";
    const std::string reply =
        std::string("HTTP/1.1 ") + (found ? "200 OK" : "404 Not Found") +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    Socket->write(reply.data(), static_cast<qint64>(reply.size()));
    Socket->disconnectFromHost();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s VERSION [PORT]\n", argv[0]);
        return 2;
    }
    const std::string version = argv[1];
    bool ok = true;
    const unsigned port = argc == 3 ? QString::fromLocal8Bit(argv[2]).toUInt(&ok) : 0;
    if (!ok || port > 65535) {
        std::fprintf(stderr, "%s: bad port %s\n", argv[0], argv[2]);
        return 2;
    }

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1:%u: %s\n", argv[0], port,
                     server.errorString().toLocal8Bit().constData());
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &version] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            auto head = std::make_shared<std::string>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, head, &version] {
                if (head->find("\r\n\r\n") != std::string::npos) {
                    socket->readAll();
                    return;
                }
                const QByteArray data = socket->readAll();
                head->append(data.constData(), static_cast<std::size_t>(data.size()));
                if (head->size() > 64 * 1024) {
                    socket->abort();
                    return;
                }
                if (head->find("\r\n\r\n") != std::string::npos)
                    Answer(socket, head->substr(0, head->find("\r\n")), version);
            });
        }
    });

    std::printf("http://127.0.0.1:%u\n", static_cast<unsigned>(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
