// The HTTP client against servers started here on 127.0.0.1, plain and TLS.
#include "http/U_HTTP_Custo.h"
#include "http/tls.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// Answers each connection by a script once the request head is in (or at once).
class ScriptedServer : public QTcpServer {
  public:
    using THandler = std::function<void(QTcpSocket*, const std::string& Head)>;

    explicit ScriptedServer(THandler Handler, bool WaitForHead = true)
        : handler(std::move(Handler)), wait_for_head_(WaitForHead) {
        connect(this, &QTcpServer::newConnection, this, &ScriptedServer::Accept);
        listen(QHostAddress::LocalHost, 0);
    }

    std::string Url(const std::string& Scheme, const std::string& Path) const {
        return Scheme + "://127.0.0.1:" + std::to_string(serverPort()) + Path;
    }

    std::vector<std::string> heads;
    THandler handler;

  protected:
    void Accept() {
        while (QTcpSocket* s = nextPendingConnection()) {
            if (!wait_for_head_) {
                handler(s, "");
                continue;
            }
            auto buffer = std::make_shared<std::string>();
            connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                const QByteArray data = s->readAll();
                if (buffer->find("\r\n\r\n") != std::string::npos)
                    return; // one request a connection
                buffer->append(data.constData(), static_cast<std::size_t>(data.size()));
                const std::size_t end = buffer->find("\r\n\r\n");
                if (end == std::string::npos)
                    return;
                heads.push_back(buffer->substr(0, end + 4));
                handler(s, heads.back());
            });
        }
    }

    bool wait_for_head_;
};

// The same over TLS, with a certificate made for the test run.
class TlsScriptedServer : public ScriptedServer {
  public:
    TlsScriptedServer(THandler Handler, QSslCertificate Cert, QSslKey Key, QByteArray Groups = {})
        : ScriptedServer(std::move(Handler)), cert_(std::move(Cert)), key_(std::move(Key)),
          groups_(std::move(Groups)) {}

  protected:
    void incomingConnection(qintptr Descriptor) override {
        auto* s = new QSslSocket(this);
        if (!s->setSocketDescriptor(Descriptor)) {
            delete s;
            return;
        }
        if (!groups_.isEmpty()) {
            QSslConfiguration config = s->sslConfiguration();
            config.setBackendConfigurationOption("Groups", groups_);
            s->setSslConfiguration(config);
        }
        s->setLocalCertificate(cert_);
        s->setPrivateKey(key_);
        s->setPeerVerifyMode(QSslSocket::VerifyNone);
        addPendingConnection(s);
        s->startServerEncryption();
    }

  private:
    QSslCertificate cert_;
    QSslKey key_;
    QByteArray groups_;
};

void Respond(QTcpSocket* s, const std::string& Text) {
    s->write(Text.data(), static_cast<qint64>(Text.size()));
    s->disconnectFromHost();
}

std::string PathOf(const std::string& Head) {
    const std::size_t sp = Head.find(' ');
    return Head.substr(sp + 1, Head.find(' ', sp + 1) - sp - 1);
}

struct TOutcome {
    int calls = 0;
    std::uint16_t code = 0xFFFF;
    THttpRequest request = THttpRequest::None;
};

// Runs the event loop until the request ends; the guard only keeps a broken build from
// hanging the test run.
TOutcome RunRequest(THttpCli& Cli) {
    TOutcome out;
    QEventLoop loop;
    Cli.OnRequestDone = [&](THttpCli* Sender, THttpRequest Rq, std::uint16_t Code) {
        EXPECT_EQ(Sender, &Cli);
        EXPECT_FALSE(Cli.Busy());
        ++out.calls;
        out.code = Code;
        out.request = Rq;
        loop.quit();
    };
    Cli.GetASync();
    EXPECT_TRUE(Cli.Busy());
    EXPECT_EQ(out.calls, 0); // never from inside GetASync
    QTimer::singleShot(60000, &loop, [&loop] {
        ADD_FAILURE() << "request never ended";
        loop.quit();
    });
    loop.exec();
    // Let whatever is still queued run: no second completion may follow.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(out.calls, 1);
    return out;
}

const char* const kProfileAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8";
const char* const kProfileLanguage = "fr,fr-fr;q=0.8,en-us;q=0.5,en;q=0.3";

TEST(HttpClient, ProfileAndDefaults) {
    TSslHttpCli cli;
    EXPECT_TRUE(cli.FollowRelocation);
    EXPECT_EQ(cli.LocationChangeMaxCount, 5);
    EXPECT_EQ(cli.Connection, "");
    EXPECT_EQ(ApplyClientProfile(&cli), &cli);
    EXPECT_EQ(cli.Agent, "Mozilla/5.0");
    EXPECT_EQ(cli.RequestVer(), "1.1");
    EXPECT_EQ(cli.Accept, kProfileAccept);
    EXPECT_EQ(cli.AcceptLanguage, kProfileLanguage);
    EXPECT_EQ(cli.Timeout, 3);
    EXPECT_EQ(cli.ProxyAuth, THttpAuth::Basic);

    cli.SetRequestVer("1.0");
    EXPECT_EQ(cli.RequestVer(), "1.0");
    for (const char* bad : {"2.0", "1.2", "", "1.1 "}) {
        try {
            cli.SetRequestVer(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EHttpException& e) {
            EXPECT_STREQ(e.what(), "Insupported HTTP version");
        }
    }
    EXPECT_EQ(cli.RequestVer(), "1.0");
}

TEST(HttpClient, RequestHeadBytes) {
    TSslHttpCli cli;
    ApplyClientProfile(&cli);
    const std::string common = std::string("Accept: ") + kProfileAccept +
                               "\r\nAccept-Language: " + kProfileLanguage +
                               "\r\nUser-Agent: Mozilla/5.0\r\n";
    EXPECT_EQ(cli.RequestHeadFor("https://update.example.test/tally/check.php?uid=0&VH=65546"),
              "GET /tally/check.php?uid=0&VH=65546 HTTP/1.1\r\n" + common +
                  "Host: update.example.test\r\n\r\n");
    EXPECT_EQ(cli.RequestHeadFor("http://update.example.test:8080/a"),
              "GET /a HTTP/1.1\r\n" + common + "Host: update.example.test:8080\r\n\r\n");
    EXPECT_EQ(cli.RequestHeadFor("http://update.example.test:443"),
              "GET / HTTP/1.1\r\n" + common + "Host: update.example.test\r\n\r\n");

    cli.Sender = "me@example.test";
    cli.Reference = "http://r.example.test/";
    cli.Connection = "close";
    cli.Agent.clear();
    EXPECT_EQ(cli.RequestHeadFor("http://h.example.test/"),
              std::string("GET / HTTP/1.1\r\nFrom: me@example.test\r\nAccept: ") + kProfileAccept +
                  "\r\nReferer: http://r.example.test/\r\nConnection: close\r\n"
                  "Accept-Language: " +
                  kProfileLanguage + "\r\nHost: h.example.test\r\n\r\n");
}

TEST(HttpClient, LiveHeadAnd404WithHtmlBody) {
    const std::string html = "<html><body>Not here</body></html>";
    ScriptedServer server([&](QTcpSocket* s, const std::string&) {
        Respond(s, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                       std::to_string(html.size()) + "\r\n\r\n" + html);
    });
    TSslHttpCli cli;
    ApplyClientProfile(&cli);
    std::string stream;
    cli.RcvdStream = &stream;
    cli.URL = server.Url("http", "/tally/check.php?uid=0&Company=A%26B%20Soft");
    const TOutcome out = RunRequest(cli);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.request, THttpRequest::Get);
    EXPECT_EQ(cli.StatusCode(), 404);
    EXPECT_EQ(cli.ReasonPhrase(), "Not Found");
    EXPECT_EQ(stream, html);
    ASSERT_EQ(server.heads.size(), 1u);
    EXPECT_EQ(server.heads[0], cli.RequestHeadFor(cli.URL));
    EXPECT_NE(server.heads[0].find("\r\nHost: 127.0.0.1:" + std::to_string(server.serverPort()) +
                                   "\r\n\r\n"),
              std::string::npos);
}

struct BodyCase {
    const char* name;
    std::string response;
    std::string body;
};

TEST(HttpClient, BodyFramings) {
    const BodyCase cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.10.4.24", "1.10.4.24"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
         "chunked\r\n\r\n3\r\n1.1\r\n6\r\n0.4.24\r\n0\r\n\r\n",
         "1.10.4.24"},
        {"close", "HTTP/1.0 200 OK\r\n\r\n1.10.4.24\r\n", "1.10.4.24\r\n"},
    };
    for (const BodyCase& c : cases) {
        ScriptedServer server([&](QTcpSocket* s, const std::string&) { Respond(s, c.response); });
        TSslHttpCli cli;
        std::string stream = "kept|";
        cli.RcvdStream = &stream;
        cli.URL = server.Url("http", "/v");
        const TOutcome out = RunRequest(cli);
        EXPECT_EQ(out.code, 0) << c.name;
        EXPECT_EQ(cli.StatusCode(), 200) << c.name;
        EXPECT_EQ(stream, "kept|" + c.body) << c.name;
    }
}

// /r/N answers with a redirection to N-1, each hop written another way; /r/0 is the end.
ScriptedServer* RedirectServer() {
    auto* server = new ScriptedServer(nullptr);
    server->handler = [server](QTcpSocket* s, const std::string& head) {
        const std::string path = PathOf(head);
        const int n = std::stoi(path.substr(3));
        if (n == 0) {
            Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfinal");
            return;
        }
        const std::string next = "/r/" + std::to_string(n - 1);
        std::string location;
        switch (n % 4) {
        case 0:
            location = server->Url("http", next);
            break;
        case 1:
            location = "//127.0.0.1:" + std::to_string(server->serverPort()) + next;
            break;
        case 2:
            location = next;
            break;
        default:
            location = std::to_string(n - 1); // relative to /r/
            break;
        }
        const std::string body = "redirect " + std::to_string(n);
        Respond(s, "HTTP/1.1 30" + std::to_string(1 + n % 8) + " Moved\r\nLocation: " + location +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    return server;
}

TEST(HttpClient, RedirectionChains) {
    std::unique_ptr<ScriptedServer> server(RedirectServer());

    TSslHttpCli cli;
    std::string stream = "before|";
    cli.RcvdStream = &stream;
    cli.URL = server->Url("http", "/r/3");
    TOutcome out = RunRequest(cli);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(cli.StatusCode(), 200);
    EXPECT_EQ(stream, "before|final");
    EXPECT_EQ(server->heads.size(), 4u);

    // Five redirections are followed; the sixth response is the result.
    server->heads.clear();
    stream = "before|";
    cli.URL = server->Url("http", "/r/6");
    out = RunRequest(cli);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(cli.StatusCode(), 302); // /r/1
    EXPECT_EQ(cli.ReasonPhrase(), "Moved");
    EXPECT_EQ(stream, "before|redirect 1");
    EXPECT_EQ(server->heads.size(), 6u);

    // Without FollowRelocation the first redirection is the result.
    server->heads.clear();
    stream.clear();
    cli.FollowRelocation = false;
    cli.URL = server->Url("http", "/r/2");
    out = RunRequest(cli);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(cli.StatusCode(), 303);
    EXPECT_EQ(stream, "redirect 2");
}

struct FailureCase {
    const char* name;
    std::string url; // "{port}" is replaced with the server's port
    std::function<void(QTcpSocket*, const std::string&)> handler;
    bool wait_for_head;
    std::uint16_t code;
    int status;
    std::string reason;
};

TEST(HttpClient, FailureRows) {
    // A port that was just free: nothing listens there now.
    quint16 closed_port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closed_port = probe.serverPort();
    }
    const std::string refused = std::string(std::strerror(ECONNREFUSED)) + " (Error #" +
                                std::to_string(ECONNREFUSED) + ") to 127.0.0.1";
    const FailureCase cases[] = {
        {"scheme", "ftp://127.0.0.1:{port}/x", nullptr, true, 0, 501,
         "Protocol \"ftp\" not implemented"},
        {"closed_port", "http://127.0.0.1:" + std::to_string(closed_port) + "/", nullptr, true,
         ECONNREFUSED, 404, refused},
        {"closed_before_status", "http://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) { s->disconnectFromHost(); }, true, 9, 0,
         "HTTP no status code (connection closed prematurely)"},
        {"closed_at_once", "http://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) { s->disconnectFromHost(); }, false, 9, 0,
         "HTTP no status code (connection closed prematurely)"},
        {"not_http", "http://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) { Respond(s, "SSH-2.0-OpenSSH\r\n"); }, true, 9, 0,
         "HTTP no status code (invalid status line)"},
        {"tls_to_plain_server", "https://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) {
             Respond(s, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
         },
         false, 3, 404, "SSL handshake failed - "},
        {"truncated_body", "http://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) {
             Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.10");
         },
         true, 10, 200, "HTTP response incomplete (connection closed prematurely)"},
        {"body_too_large", "http://127.0.0.1:{port}/",
         [](QTcpSocket* s, const std::string&) {
             Respond(s, "HTTP/1.1 200 OK\r\n\r\n" + std::string(100000, 'x'));
         },
         true, 11, 200, "HTTP body too large (more than 1000 bytes)"},
        {"bad_host_text", "http://127.0.0.1:99999/", nullptr, true, 0, 404,
         "Invalid port number \"99999\""},
    };
    for (const FailureCase& c : cases) {
        ScriptedServer server(
            c.handler ? c.handler : [](QTcpSocket*, const std::string&) {}, c.wait_for_head);
        std::string url = c.url;
        const std::size_t at = url.find("{port}");
        if (at != std::string::npos)
            url.replace(at, 6, std::to_string(server.serverPort()));
        TSslHttpCli cli;
        cli.MaxBodySize = 1000;
        std::string stream;
        cli.RcvdStream = &stream;
        cli.URL = url;
        const TOutcome out = RunRequest(cli);
        EXPECT_EQ(out.code, c.code) << c.name << ": " << cli.ReasonPhrase();
        EXPECT_EQ(cli.StatusCode(), c.status) << c.name;
        if (c.code == 3)
            EXPECT_EQ(cli.ReasonPhrase().rfind(c.reason, 0), 0u)
                << c.name << ": " << cli.ReasonPhrase();
        else
            EXPECT_EQ(cli.ReasonPhrase(), c.reason) << c.name;
    }
}

TEST(HttpClient, ServerThatNeverAnswersEndsOnTimeout) {
    ScriptedServer server([](QTcpSocket*, const std::string&) {});
    TSslHttpCli cli;
    ApplyClientProfile(&cli);
    cli.Timeout = 1;
    cli.URL = server.Url("http", "/");
    const TOutcome out = RunRequest(cli);
    EXPECT_EQ(out.code, kHttpErrTimeout);
    EXPECT_EQ(cli.StatusCode(), 404);
    EXPECT_EQ(cli.ReasonPhrase(), "Request aborted on timeout");
    EXPECT_EQ(server.heads.size(), 1u);
}

TEST(HttpClient, BusyClientRefusesASecondRequest) {
    ScriptedServer server([](QTcpSocket* s, const std::string&) {
        Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    TSslHttpCli cli;
    cli.setObjectName("UpdateClient");
    cli.URL = server.Url("http", "/");
    int calls = 0;
    QEventLoop loop;
    cli.OnRequestDone = [&](THttpCli*, THttpRequest, std::uint16_t) {
        ++calls;
        loop.quit();
    };
    cli.GetASync();
    try {
        cli.GetASync();
        ADD_FAILURE() << "second request accepted";
    } catch (const EHttpException& e) {
        EXPECT_STREQ(e.what(), "HTTP component UpdateClient is busy");
    }
    loop.exec();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(cli.StatusCode(), 200);
}

TEST(HttpClient, HandlerMayReuseOrDestroyTheClient) {
    ScriptedServer server([](QTcpSocket* s, const std::string&) {
        Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    QEventLoop loop;
    auto* cli = new TSslHttpCli;
    std::string stream;
    cli->RcvdStream = &stream;
    cli->URL = server.Url("http", "/");
    int calls = 0;
    cli->OnRequestDone = [&](THttpCli* sender, THttpRequest, std::uint16_t code) {
        EXPECT_EQ(code, 0);
        if (++calls == 1) {
            sender->GetASync(); // the next request from inside the handler
            return;
        }
        delete sender; // then the handler destroys the client
        loop.quit();
    };
    cli->GetASync();
    loop.exec();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(stream, "okok");
}

TEST(HttpClient, DestroyedClientRaisesNothing) {
    ScriptedServer server([](QTcpSocket*, const std::string&) {});
    int calls = 0;
    {
        TSslHttpCli cli;
        cli.URL = server.Url("http", "/");
        cli.OnRequestDone = [&](THttpCli*, THttpRequest, std::uint16_t) { ++calls; };
        cli.GetASync();
        QEventLoop loop;
        QObject::connect(&server, &QTcpServer::newConnection, &loop, &QEventLoop::quit);
        loop.exec();
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(Tls, AcceptedLibrarySeries) {
    const struct {
        long number;
        bool accepted;
    } cases[] = {
        {0x1010100FL, true},  {0x1010117FL, true},  {0x10101FFFL, true},  {0x30000020L, true},
        {0x300000B0L, true},  {0x30200010L, true},  {0x1010006FL, false}, {0x1000214FL, false},
        {0x10102000L, false}, {0x40000000L, false}, {0L, false},          {999L, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsAcceptedTlsLibraryVersion(c.number), c.accepted) << std::hex << c.number;
}

class TlsFixture : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        ASSERT_TRUE(dir_->isValid());
        const QString key = dir_->filePath("key.pem");
        const QString cert = dir_->filePath("cert.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out",
                                  cert, "-days", "2", "-subj", "/CN=update.example.test"});
        ASSERT_TRUE(openssl.waitForFinished(-1));
        ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
        QFile k(key);
        QFile c(cert);
        ASSERT_TRUE(k.open(QIODevice::ReadOnly) && c.open(QIODevice::ReadOnly));
        key_ = new QSslKey(k.readAll(), QSsl::Ec);
        cert_ = new QSslCertificate(c.readAll());
        ASSERT_FALSE(key_->isNull());
        ASSERT_FALSE(cert_->isNull());
    }
    static void TearDownTestSuite() {
        delete key_;
        delete cert_;
        delete dir_;
    }
    void TearDown() override { SetTlsDisabledForTest(false); }

    static QTemporaryDir* dir_;
    static QSslKey* key_;
    static QSslCertificate* cert_;
};
QTemporaryDir* TlsFixture::dir_ = nullptr;
QSslKey* TlsFixture::key_ = nullptr;
QSslCertificate* TlsFixture::cert_ = nullptr;

TEST_F(TlsFixture, HttpsRequestWithProfileContext) {
    ASSERT_TRUE(TlsAvailable());
    EXPECT_EQ(TlsLibraryVersionText().rfind("OpenSSL ", 0), 0u) << TlsLibraryVersionText();

    TlsScriptedServer server(
        [](QTcpSocket* s, const std::string&) {
            Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.10.4.24");
        },
        *cert_, *key_);
    TSslHttpCli cli;
    TSslContext context;
    cli.SslContext = &context;
    ApplyClientProfile(&cli);
    std::string stream;
    cli.RcvdStream = &stream;
    cli.URL = server.Url("https", "/tally/check.php?uid=0");
    const TOutcome out = RunRequest(cli);
    EXPECT_EQ(out.code, 0) << cli.ReasonPhrase();
    EXPECT_EQ(cli.StatusCode(), 200);
    EXPECT_EQ(stream, "1.10.4.24");
    ASSERT_EQ(server.heads.size(), 1u);
    EXPECT_EQ(server.heads[0], cli.RequestHeadFor(cli.URL));
}

// The client offers the groups of its context (the unknown "P-512" left out), so a server
// that takes only a group outside that list cannot agree with it.
TEST_F(TlsFixture, ClientOffersTheContextGroups) {
    const struct {
        const char* server_groups;
        std::uint16_t code;
    } cases[] = {{"X25519", 0}, {"P-384", 0}, {"P-256", 0}, {"P-521", kHttpErrSslHandshake}};
    for (const auto& c : cases) {
        TlsScriptedServer server(
            [](QTcpSocket* s, const std::string&) {
                Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            },
            *cert_, *key_, c.server_groups);
        TSslHttpCli cli;
        TSslContext context;
        cli.SslContext = &context;
        cli.URL = server.Url("https", "/");
        EXPECT_EQ(RunRequest(cli).code, c.code) << c.server_groups << ": " << cli.ReasonPhrase();
    }
}

TEST_F(TlsFixture, UnavailableTlsDowngradesTheAddress) {
    ASSERT_TRUE(TlsAvailable());
    EXPECT_EQ(DowngradeUrl("https://127.0.0.1:8443/p?q=1"), "https://127.0.0.1:8443/p?q=1");
    EXPECT_EQ(DowngradeUrl("HTTPS://127.0.0.1/p"), "HTTPS://127.0.0.1/p");
    EXPECT_EQ(DowngradeUrl("http://127.0.0.1/p"), "http://127.0.0.1/p");

    SetTlsDisabledForTest(true);
    EXPECT_FALSE(TlsAvailable());
    EXPECT_EQ(TlsLibraryVersionText(), "Not Available");
    EXPECT_EQ(DowngradeUrl("https://127.0.0.1/tally/check.php?uid=0&VL=262167"),
              "http://127.0.0.1/tally/check.php?uid=0&VL=262167");
    EXPECT_EQ(DowngradeUrl("HTTPS://127.0.0.1/p"), "http://127.0.0.1/p");
    EXPECT_EQ(DowngradeUrl("http://127.0.0.1/p"), "http://127.0.0.1/p");

    // The downgraded address reaches a plain server; an https request now fails cleanly.
    ScriptedServer server([](QTcpSocket* s, const std::string&) {
        Respond(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    TSslHttpCli cli;
    std::string stream;
    cli.RcvdStream = &stream;
    cli.URL = DowngradeUrl(server.Url("https", "/x"));
    EXPECT_EQ(cli.URL, server.Url("http", "/x"));
    EXPECT_EQ(RunRequest(cli).code, 0);
    EXPECT_EQ(stream, "ok");

    cli.URL = server.Url("https", "/x");
    EXPECT_EQ(RunRequest(cli).code, kHttpErrSslHandshake);

    SetTlsDisabledForTest(false);
    EXPECT_TRUE(TlsAvailable());

    // The same switch for whole programs, through the environment.
    setenv("HUELET_NO_TLS", "1", 1);
    EXPECT_FALSE(TlsAvailable());
    EXPECT_EQ(DowngradeUrl("https://127.0.0.1/p"), "http://127.0.0.1/p");
    unsetenv("HUELET_NO_TLS");
    EXPECT_TRUE(TlsAvailable());
}

} // namespace
