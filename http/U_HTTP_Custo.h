#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <QObject>
#include <QPointer>

#include "http/http_parser.h"
#include "http/tls.h"

class QAbstractSocket;
class QHostAddress;
class QHostInfo;
class QTimer;

// Completion codes of a request besides the socket and resolver error numbers.
constexpr std::uint16_t kHttpErrNone = 0;
constexpr std::uint16_t kHttpErrSslHandshake = 3;
constexpr std::uint16_t kHttpErrTimeout = 8;
constexpr std::uint16_t kHttpErrNoStatus = 9;
constexpr std::uint16_t kHttpErrIncomplete = 10; // closed during the head or the body
constexpr std::uint16_t kHttpErrTooLarge = 11;   // head or body above the client's limits
constexpr std::uint16_t kHttpErrBadFraming = 12; // unreadable Content-Length or chunking

enum class THttpRequest { None, Get };
enum class THttpAuth { None, Basic };

// Raised synchronously by the client (busy, refused settings).
class EHttpException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An HTTP/1.1 client driven by the Qt event loop of the calling thread. One request at a
// time; every request started by GetASync ends in exactly one OnRequestDone, raised from the
// event loop (never from inside GetASync). Destroying the client ends a request under way
// without a callback.
class THttpCli : public QObject {
    Q_OBJECT
  public:
    using TRequestDone =
        std::function<void(THttpCli* Sender, THttpRequest RqType, std::uint16_t ErrCode)>;

    explicit THttpCli(QObject* Owner = nullptr);
    ~THttpCli() override;

    // Request settings.
    std::string URL;
    std::string Agent;
    std::string Accept = "*/*";
    std::string AcceptLanguage;
    std::string Sender;     // "From:"
    std::string Reference;  // "Referer:"
    std::string Connection; // empty: no Connection header
    // Seconds a request may take from GetASync to its end; 0 or less: no limit.
    int Timeout = 30;
    bool FollowRelocation = true;
    int LocationChangeMaxCount = 5;
    std::string Proxy;
    std::string ProxyPort = "80";
    std::string ProxyUsername;
    std::string ProxyPassword;
    THttpAuth ProxyAuth = THttpAuth::None;
    // Limits against hostile servers: status line and headers, and one response's body.
    std::size_t MaxHeadSize = 64 * 1024;
    std::size_t MaxBodySize = 1024 * 1024;

    // "1.0" or "1.1"; anything else raises "Insupported HTTP version".
    void SetRequestVer(const std::string& Ver);
    const std::string& RequestVer() const { return request_ver_; }

    // The caller's byte stream: each request appends its final response's body.
    std::string* RcvdStream = nullptr;
    TRequestDone OnRequestDone;

    // Starts a GET of URL and returns at once. Raises when a request is under way.
    void GetASync();

    bool Busy() const { return busy_; }
    int StatusCode() const { return status_code_; }
    const std::string& ReasonPhrase() const { return reason_; }
    // The address of the last request made (after redirections).
    const std::string& Location() const { return current_url_; }
    // The value of a header of the last response, "" when absent.
    std::string ResponseHeader(const std::string& Name) const;

    // The head a GET of Url would send, for inspection.
    std::string RequestHeadFor(const std::string& Url) const;

  protected:
    // TLS settings for "https" requests; a plain client has none and refuses TLS.
    virtual const TSslContext* TlsContext() const { return nullptr; }

  private:
    enum class TPhase { Idle, Resolving, Connecting, Handshaking, Receiving, Finishing };

    void StartRequest(const std::string& Url);
    void OnLookedUp(const QHostInfo& Info);
    void Connect(const QHostAddress& Address);
    void OnConnected();
    void SendHead();
    void OnReadyRead();
    void OnDisconnected();
    void OnSocketError(int Error);
    void OnTimeout();
    void ResponseOver();
    void Fail(std::uint16_t Code, int Status, const std::string& Reason);
    void Finish(std::uint16_t Code);
    void DropSocket();
    THttpHeadFields HeadFields() const;

    std::string request_ver_ = "1.1";
    bool busy_ = false;
    TPhase phase_ = TPhase::Idle;
    std::uint64_t generation_ = 0;
    int status_code_ = 0;
    std::string reason_;
    int redirects_ = 0;
    std::size_t stream_start_ = 0;
    std::string current_url_;
    THttpUrlParts parts_;
    std::string address_text_;
    int lookup_id_ = -1;
    QPointer<QAbstractSocket> socket_;
    std::unique_ptr<THttpResponseParser> parser_;
    std::vector<std::pair<std::string, std::string>> last_headers_;
    QTimer* timer_ = nullptr;
};

// The client with TLS: "https" addresses run over TLS with SslContext's settings.
class TSslHttpCli : public THttpCli {
    Q_OBJECT
  public:
    explicit TSslHttpCli(QObject* Owner = nullptr) : THttpCli(Owner) {}
    // Not owned; when none is set, a default context is used.
    TSslContext* SslContext = nullptr;

  protected:
    const TSslContext* TlsContext() const override;

  private:
    TSslContext default_context_;
};

// The request profile of the update check; returns Cli.
TSslHttpCli* ApplyClientProfile(TSslHttpCli* Cli);
