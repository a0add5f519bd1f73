#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QPointer>

class QObject;
class TKLog;
class TSslContext;
class TSslHttpCli;
enum class THttpRequest;

// The name of the environment variable that replaces the build-time base address of the
// update-check service (scheme, host and optional port, for example "http://127.0.0.1:8080").
inline constexpr const char* kUpdateUrlVariable = "HUELET_UPDATE_URL";

// The base address of the update-check service without a trailing '/': the environment
// variable when set and not empty, otherwise the build-time setting.
std::string UpdateServiceBaseUrl();

// Percent-encoding of one query value, byte by byte: letters, digits, '-', '.' and '_' stay,
// a space becomes "%20", every other byte "%XX" in uppercase hexadecimal.
std::string EncodeQueryValue(const std::string& Text);

// The check's address for an executable: Base + "/tally/check.php?uid=0&ProductName=...
// &Company=...&VH=...&VL=..." with the executable's displayed product, company and version.
std::string UpdateCheckAddress(const std::string& Base, const std::string& Product,
                               const std::string& Company, const std::string& HighText,
                               const std::string& LowText);

// Asks the update-check service whether a newer version of an executable exists. One check at
// a time; the check runs on the calling thread's event loop and ends in exactly one OnCheckDone
// (unless the checker is destroyed first, which ends the request without a callback).
class TTallyLite {
  public:
    using TNotify = std::function<void(TTallyLite* Sender)>;

    // Log is not owned and must outlive the checker; Title starts every check line.
    TTallyLite(TKLog* Log, std::string Title);
    virtual ~TTallyLite();
    TTallyLite(const TTallyLite&) = delete;
    TTallyLite& operator=(const TTallyLite&) = delete;

    // Begins one check of the executable at Path and returns at once. The HTTP client is a
    // child of Owner (may be null). Call only while Busy() is false.
    void StartCheck(const std::string& Path, QObject* Owner, TNotify OnCheckDone);

    bool Busy() const { return busy_; }
    bool NewerAvailable() const { return newer_available_; }
    bool ReplyValid() const { return reply_valid_; }

    // Proxy for the request; off by default.
    bool UseProxy = false;
    int ProxyPort = 0;
    std::string ProxyHost;
    std::string ProxyUser;
    std::string ProxyPassword;

    // Called with the configured client just before the request starts (for inspection in
    // tests); an exception raised here counts as a failure to start the request.
    std::function<void(TSslHttpCli* Client)> OnClientReady;

    // The address of the last check's request as sent (after any downgrade to "http").
    const std::string& RequestUrl() const { return request_url_; }

  private:
    void RequestDone(THttpRequest RqType, std::uint16_t ErrCode);
    void StartFailed(const std::string& Cause);
    void Finish();
    void DestroyClient();

    std::uint32_t start_tick_ = 0;
    TKLog* log_;
    bool busy_ = false;
    TNotify on_check_done_;
    std::uint32_t local_high_ = 0;
    std::uint32_t local_low_ = 0;
    std::string title_;
    std::string reply_stream_;
    QPointer<TSslHttpCli> client_;
    std::unique_ptr<TSslContext> context_;
    bool newer_available_ = false;
    bool reply_valid_ = false;
    std::string request_url_;
    // Receiver of queued completions; destroying it drops any still pending.
    std::unique_ptr<QObject> queue_;
};
