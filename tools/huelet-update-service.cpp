// A local stand-in for the update-check service, for demonstrations and tests:
//   huelet-update-service VERSION [PORT]
// listens on 127.0.0.1 only (PORT, or a free port when absent or 0), prints its base address,
// then answers GET /tally/check.php with VERSION as the body and prints each request line.
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

const char* const kProgram = "huelet-update-service";
const char* const kUsage = "usage: huelet-update-service VERSION [PORT]\n";

void PrintHelp() {
    std::printf("%s", kUsage);
    std::printf("\n"
                "A local stand-in for the update-check service, for demonstrations and tests.\n"
                "Listens on 127.0.0.1 only, on PORT (0..65535; a free port when absent or 0),\n"
                "prints its base address (http://127.0.0.1:PORT) and then answers every\n"
                "GET /tally/check.php with VERSION as the body, printing each request line.\n"
                "Other requests get 404 Not Found.\n"
                "\n"
                "  VERSION   one to four numbers separated by dots, such as 1.10.4.24\n"
                "  PORT      the port to listen on, 0..65535\n"
                "  --help    show this text\n"
                "\n"
                "Point Huelet at it with HUELET_UPDATE_URL=http://127.0.0.1:PORT.\n"
                "Exit status: 1 when the port cannot be opened, 2 for bad arguments.\n");
}

[[noreturn]] void BadArguments(const std::string& Message) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, Message.c_str(), kUsage);
    std::exit(2);
}

bool AllDigits(const std::string& Text) {
    return !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos;
}

// Dotted numbers the client reads as a version: "7", "1.10", ... "1.10.4.24".
bool IsDottedVersion(const std::string& Text) {
    std::size_t parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = Text.find('.', start);
        if (!AllDigits(Text.substr(start, dot == std::string::npos ? dot : dot - start)))
            return false;
        ++parts;
        if (dot == std::string::npos)
            return parts <= 4;
        start = dot + 1;
    }
}

std::optional<unsigned> ParsePort(const std::string& Text) {
    if (!AllDigits(Text) || Text.size() > 5)
        return std::nullopt;
    const unsigned long port = std::stoul(Text);
    if (port > 65535)
        return std::nullopt;
    return static_cast<unsigned>(port);
}

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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
    }
    if (argc < 2 || argc > 3)
        BadArguments(argc < 2 ? "no VERSION given" : "too many arguments");
    const std::string version = argv[1];
    if (!IsDottedVersion(version))
        BadArguments("bad version \"" + version + "\" (one to four numbers separated by dots)");
    const std::optional<unsigned> parsed = argc == 3 ? ParsePort(argv[2]) : 0u;
    if (!parsed)
        BadArguments(std::string("bad port \"") + argv[2] + "\" (0..65535)");
    const unsigned port = *parsed;

    QCoreApplication app(argc, argv);

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1:%u: %s\n", kProgram, port,
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
