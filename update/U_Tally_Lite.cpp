#include "update/U_Tally_Lite.h"

#include "base/ascii.h"

#include "huelet_config.h"
#include "services/U_Log.h"
#include "update/U_HTTP_Custo.h"
#include "update/U_TallyFct.h"
#include "update/U_Version.h"
#include "update/tls.h"

#include <QObject>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <utility>

namespace {

// The system's millisecond tick counter; wraps like a 32-bit tick count.
std::uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace

std::string UpdateServiceBaseUrl() {
    std::string base;
    if (const char* value = std::getenv(kUpdateUrlVariable); value != nullptr && *value != 0)
        base = value;
    else
        base = HUELET_UPDATE_URL;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

std::string EncodeQueryValue(const std::string& Text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size() * 3);
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_') {
            out += ch;
        } else if (c == ' ') {
            out += "%20";
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string UpdateCheckAddress(const std::string& Base, const std::string& Product,
                               const std::string& Company, const std::string& HighText,
                               const std::string& LowText) {
    return Base + "/tally/check.php?uid=0" + "&ProductName=" + EncodeQueryValue(Product) +
           "&Company=" + EncodeQueryValue(Company) + "&VH=" + HighText + "&VL=" + LowText;
}

TTallyLite::TTallyLite(TKLog* Log, std::string Title)
    : log_(Log), title_(std::move(Title)), queue_(std::make_unique<QObject>()) {}

TTallyLite::~TTallyLite() {
    // No callback may follow once the owner lets go of the checker.
    on_check_done_ = nullptr;
    queue_.reset();
    DestroyClient();
}

void TTallyLite::DestroyClient() {
    // The owner may already have deleted the client along with itself.
    if (TSslHttpCli* client = client_.data()) {
        client->OnRequestDone = nullptr;
        delete client;
    }
    client_ = nullptr;
    context_.reset();
}

void TTallyLite::StartCheck(const std::string& Path, QObject* Owner, TNotify OnCheckDone) {
    DestroyClient();
    busy_ = true;
    newer_available_ = false;
    reply_valid_ = false;
    request_url_.clear();
    if (log_ != nullptr)
        log_->AddLine(title_ + " Update self check : Initialization", kLogInfo);
    on_check_done_ = std::move(OnCheckDone);

    try {
        const TDisplayedFileInfo info = GetDisplayedFileInfo(Path);
        const TTallyVersion local(DisplayedVersionText(Path, "", ""));
        local_high_ = local.HighPart();
        local_low_ = local.LowPart();
        const std::string address = UpdateCheckAddress(
            UpdateServiceBaseUrl(), info.Product, info.Company, local.HighText(), local.LowText());

        reply_stream_.clear();

        context_ = std::make_unique<TSslContext>();
        client_ = new TSslHttpCli(Owner);
        client_->SslContext = context_.get();
        ApplyClientProfile(client_.data());
        client_->Timeout = 10;
        client_->OnRequestDone = [this](THttpCli*, THttpRequest RqType, std::uint16_t ErrCode) {
            RequestDone(RqType, ErrCode);
        };

        if (UseProxy) {
            client_->Proxy = ProxyHost;
            client_->ProxyPort = std::to_string(ProxyPort);
            client_->ProxyUsername = ProxyUser;
            client_->ProxyPassword = ProxyPassword;
        } else {
            client_->Proxy.clear();
            client_->ProxyPort.clear();
            client_->ProxyUsername.clear();
            client_->ProxyPassword.clear();
        }

        request_url_ = DowngradeUrl(address);
        client_->URL = request_url_;
        if (!base::EqualsIgnoringAsciiCase(request_url_, address) && log_ != nullptr)
            log_->AddLine("TallyLite : No SSL / Back to HTTP", kLogVerbose);

        client_->RcvdStream = &reply_stream_;
        if (OnClientReady)
            OnClientReady(client_.data());

        start_tick_ = TickCount();
        client_->GetASync();
    } catch (const std::exception& e) {
        StartFailed(e.what());
    } catch (...) {
        StartFailed("unknown error");
    }
}

void TTallyLite::StartFailed(const std::string& Cause) {
    // A request that never started has no completion to wait for: end the check as a failed
    // one, from the event loop like every other completion.
    if (TSslHttpCli* client = client_.data())
        client->OnRequestDone = nullptr;
    if (log_ != nullptr)
        log_->AddLine(title_ + " Update self check : Server error (-1 Cause : " + Cause + ")",
                      kLogError);
    QMetaObject::invokeMethod(
        queue_.get(), [this] { Finish(); }, Qt::QueuedConnection);
}

void TTallyLite::RequestDone(THttpRequest RqType, std::uint16_t ErrCode) {
    if (ErrCode != 0 || RqType != THttpRequest::Get) {
        if (log_ != nullptr)
            log_->AddLine(title_ + " Update self check : Server error (" + std::to_string(ErrCode) +
                              ")",
                          kLogError);
    } else {
        const TTallyVersion reply(reply_stream_);
        const auto elapsed = static_cast<std::int32_t>(TickCount() - start_tick_);
        if (log_ != nullptr)
            log_->AddLine(title_ + " Update self check : Server replied " + reply.ToText() +
                              " in " + std::to_string(elapsed) + "ms",
                          kLogInfo);
        if (!reply.IsValid() && log_ != nullptr) {
            const std::string reason = client_ ? client_->ReasonPhrase() : std::string();
            log_->AddLine(title_ + " Update self check : Server error (" + std::to_string(ErrCode) +
                              " Cause : " + reason + ")",
                          kLogVerbose);
        }
        reply_valid_ = reply.IsValid();
        newer_available_ = reply.IsNewerThanParts(local_high_, local_low_);
    }
    Finish();
}

void TTallyLite::Finish() {
    busy_ = false;
    // The callback may start the next check or destroy this checker: nothing after it.
    if (on_check_done_) {
        const TNotify callback = on_check_done_;
        callback(this);
    }
}
