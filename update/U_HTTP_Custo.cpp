#include "update/U_HTTP_Custo.h"

#include "base/ascii.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A Qt socket error as a system error number and its text.
struct TSysError {
    int Number;
    std::string Text;
};

TSysError SystemError(QAbstractSocket::SocketError Error, const QString& QtText) {
    int number = 0;
    switch (Error) {
    case QAbstractSocket::ConnectionRefusedError:
        number = ECONNREFUSED;
        break;
    case QAbstractSocket::RemoteHostClosedError:
        number = ECONNRESET;
        break;
    case QAbstractSocket::HostNotFoundError:
        number = EHOSTUNREACH;
        break;
    case QAbstractSocket::SocketAccessError:
        number = EACCES;
        break;
    case QAbstractSocket::SocketResourceError:
        number = EMFILE;
        break;
    case QAbstractSocket::SocketTimeoutError:
        number = ETIMEDOUT;
        break;
    case QAbstractSocket::NetworkError:
        number = ENETUNREACH;
        break;
    case QAbstractSocket::AddressInUseError:
        number = EADDRINUSE;
        break;
    case QAbstractSocket::SocketAddressNotAvailableError:
        number = EADDRNOTAVAIL;
        break;
    case QAbstractSocket::UnsupportedSocketOperationError:
        number = EAFNOSUPPORT;
        break;
    default:
        break;
    }
    if (number != 0)
        return {number, std::strerror(number)};
    // No system equivalent: keep Qt's own text, with a number that cannot read as success.
    return {EIO, QtText.toStdString()};
}

bool IsConnectionFailure(QAbstractSocket::SocketError Error) {
    switch (Error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        return true;
    default:
        return false;
    }
}

} // namespace

THttpCli::THttpCli(QObject* Owner) : QObject(Owner) {
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &THttpCli::OnTimeout);
}

THttpCli::~THttpCli() {
    OnRequestDone = nullptr;
    DropSocket();
}

void THttpCli::SetRequestVer(const std::string& Ver) {
    if (Ver != "1.0" && Ver != "1.1")
        throw EHttpException("Insupported HTTP version");
    request_ver_ = Ver;
}

std::string THttpCli::ResponseHeader(const std::string& Name) const {
    const std::string key = base::LowerAscii(Name);
    for (auto it = last_headers_.rbegin(); it != last_headers_.rend(); ++it)
        if (it->first == key)
            return it->second;
    return "";
}

THttpHeadFields THttpCli::HeadFields() const {
    THttpHeadFields f;
    f.RequestVer = request_ver_;
    f.Sender = Sender;
    f.Accept = Accept;
    f.Referrer = Reference;
    f.Connection = Connection;
    f.AcceptLanguage = AcceptLanguage;
    f.Agent = Agent;
    return f;
}

std::string THttpCli::RequestHeadFor(const std::string& Url) const {
    return BuildGetRequestHead(SplitHttpUrl(Url), HeadFields());
}

void THttpCli::GetASync() {
    if (busy_)
        throw EHttpException("HTTP component " + objectName().toStdString() + " is busy");
    busy_ = true;
    ++generation_;
    status_code_ = 0;
    reason_.clear();
    last_headers_.clear();
    redirects_ = 0;
    stream_start_ = RcvdStream ? RcvdStream->size() : 0;
    if (Timeout > 0)
        timer_->start(std::chrono::seconds(std::min(Timeout, 24 * 3600)));
    StartRequest(URL);
}

void THttpCli::StartRequest(const std::string& Url) {
    current_url_ = Url;
    parts_ = SplitHttpUrl(Url);
    parser_ = std::make_unique<THttpResponseParser>(MaxHeadSize, MaxBodySize);
    if (!parts_.Valid) {
        Fail(0, 404, parts_.Error);
        return;
    }
    QHostAddress literal;
    if (literal.setAddress(QString::fromStdString(parts_.HostForConnect()))) {
        Connect(literal);
        return;
    }
    phase_ = TPhase::Resolving;
    lookup_id_ = QHostInfo::lookupHost(QString::fromStdString(parts_.HostForConnect()), this,
                                       &THttpCli::OnLookedUp);
}

void THttpCli::OnLookedUp(const QHostInfo& Info) {
    if (phase_ != TPhase::Resolving || Info.lookupId() != lookup_id_)
        return;
    lookup_id_ = -1;
    // IPv4 only.
    for (const QHostAddress& a : Info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            Connect(a);
            return;
        }
    }
    const int code = Info.error() != QHostInfo::NoError ? static_cast<int>(Info.error())
                                                        : static_cast<int>(QHostInfo::HostNotFound);
    Fail(static_cast<std::uint16_t>(code), 404, "can't resolve hostname to IP address");
}

void THttpCli::Connect(const QHostAddress& Address) {
    if (parts_.Scheme != "http" && parts_.Scheme != "https") {
        Fail(0, 501, "Protocol \"" + parts_.Scheme + "\" not implemented");
        return;
    }
    address_text_ = Address.toString().toStdString();
    // Through a proxy the socket tunnels (CONNECT) and then runs TLS as well.
    const bool tls = parts_.Scheme == "https";
    QAbstractSocket* socket = nullptr;
    if (tls) {
        const TSslContext* context = TlsContext();
        if (!context || !TlsAvailable()) {
            Fail(kHttpErrSslHandshake, 404, "SSL handshake failed - TLS is not available");
            return;
        }
        auto* ssl = new QSslSocket(this);
        ssl->setSslConfiguration(context->Configuration());
        // The server name goes out in the handshake unless the host is a literal address.
        const QString host = QString::fromStdString(parts_.HostForConnect());
        if (QHostAddress probe; !probe.setAddress(host))
            ssl->setPeerVerifyName(host);
        connect(ssl, &QSslSocket::encrypted, this, &THttpCli::SendHead);
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl](const QList<QSslError>&) {
            ssl->ignoreSslErrors(); // the peer is not verified
        });
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
    }
    if (!Proxy.empty()) {
        bool ok = false;
        const int port = QString::fromStdString(ProxyPort).toInt(&ok);
        socket->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QString::fromStdString(Proxy),
                                       static_cast<quint16>(ok ? port : 80),
                                       QString::fromStdString(ProxyUsername),
                                       QString::fromStdString(ProxyPassword)));
    } else {
        socket->setProxy(QNetworkProxy::NoProxy);
    }
    socket_ = socket;
    connect(socket, &QAbstractSocket::connected, this, &THttpCli::OnConnected);
    connect(socket, &QAbstractSocket::readyRead, this, &THttpCli::OnReadyRead);
    connect(socket, &QAbstractSocket::disconnected, this, &THttpCli::OnDisconnected);
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { OnSocketError(static_cast<int>(e)); });
    phase_ = TPhase::Connecting;
    socket->connectToHost(Address, parts_.PortNumber());
}

void THttpCli::OnConnected() {
    if (phase_ != TPhase::Connecting)
        return;
    if (auto* ssl = qobject_cast<QSslSocket*>(socket_.data())) {
        phase_ = TPhase::Handshaking;
        ssl->startClientEncryption();
        return;
    }
    SendHead();
}

void THttpCli::SendHead() {
    if (phase_ != TPhase::Connecting && phase_ != TPhase::Handshaking)
        return;
    phase_ = TPhase::Receiving;
    const std::string head = BuildGetRequestHead(parts_, HeadFields());
    socket_->write(head.data(), static_cast<qint64>(head.size()));
    // Data may have come with the handshake.
    if (socket_->bytesAvailable() > 0)
        OnReadyRead();
}

void THttpCli::OnReadyRead() {
    if (phase_ != TPhase::Receiving || !socket_)
        return;
    char buffer[16384];
    while (phase_ == TPhase::Receiving && socket_ && socket_->bytesAvailable() > 0) {
        const qint64 n = socket_->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        parser_->Feed(buffer, static_cast<std::size_t>(n), RcvdStream);
        if (parser_->HasStatus()) {
            status_code_ = parser_->StatusCode();
            reason_ = parser_->ReasonPhrase();
        }
        if (parser_->State() == THttpResponseParser::TState::Done ||
            parser_->State() == THttpResponseParser::TState::Failed)
            ResponseOver();
    }
}

void THttpCli::OnDisconnected() {
    if (phase_ == TPhase::Receiving) {
        OnReadyRead();
        if (phase_ != TPhase::Receiving)
            return;
        parser_->FeedEof();
        ResponseOver();
        return;
    }
    if (phase_ == TPhase::Handshaking) {
        Fail(kHttpErrSslHandshake, 404, "SSL handshake failed - connection closed by the server");
        return;
    }
    if (phase_ == TPhase::Connecting) {
        const TSysError e = SystemError(QAbstractSocket::RemoteHostClosedError, QString());
        Fail(static_cast<std::uint16_t>(e.Number), 404,
             e.Text + " (Error #" + std::to_string(e.Number) + ") to " + address_text_);
    }
}

void THttpCli::OnSocketError(int Error) {
    if (!socket_)
        return;
    const auto error = static_cast<QAbstractSocket::SocketError>(Error);
    const TSysError e = SystemError(error, socket_->errorString());
    const std::string number = " (Error #" + std::to_string(e.Number) + ")";
    switch (phase_) {
    case TPhase::Connecting:
        if (IsConnectionFailure(error))
            Fail(static_cast<std::uint16_t>(e.Number), 404,
                 e.Text + number + " to " + address_text_);
        else
            Fail(static_cast<std::uint16_t>(e.Number), 404, "can't connect: " + e.Text + number);
        break;
    case TPhase::Handshaking:
        Fail(kHttpErrSslHandshake, 404,
             "SSL handshake failed - " + socket_->errorString().toStdString());
        break;
    case TPhase::Receiving:
        // A close is judged by OnDisconnected, which follows.
        if (error != QAbstractSocket::RemoteHostClosedError)
            Fail(static_cast<std::uint16_t>(e.Number), status_code_, e.Text + number);
        break;
    default:
        break;
    }
}

void THttpCli::OnTimeout() {
    if (!busy_ || phase_ == TPhase::Finishing)
        return;
    Fail(kHttpErrTimeout, 404, "Request aborted on timeout");
}

void THttpCli::ResponseOver() {
    last_headers_ = parser_->Headers();
    if (parser_->State() == THttpResponseParser::TState::Failed) {
        std::uint16_t code = kHttpErrNoStatus;
        switch (parser_->Failure()) {
        case THttpResponseParser::TFailure::ClosedBeforeStatus:
        case THttpResponseParser::TFailure::BadStatusLine:
            code = kHttpErrNoStatus;
            break;
        case THttpResponseParser::TFailure::HeadTooLarge:
        case THttpResponseParser::TFailure::BodyTooLarge:
            code = kHttpErrTooLarge;
            break;
        case THttpResponseParser::TFailure::BadFraming:
            code = kHttpErrBadFraming;
            break;
        case THttpResponseParser::TFailure::Truncated:
        case THttpResponseParser::TFailure::None:
            code = kHttpErrIncomplete;
            break;
        }
        Fail(code, status_code_, parser_->FailureText());
        return;
    }

    const std::string location = parser_->Header("location");
    if (FollowRelocation && status_code_ >= 301 && status_code_ <= 308 && !location.empty() &&
        redirects_ < LocationChangeMaxCount) {
        ++redirects_;
        DropSocket();
        if (RcvdStream && RcvdStream->size() > stream_start_)
            RcvdStream->resize(stream_start_);
        StartRequest(ResolveLocation(current_url_, location));
        return;
    }
    Finish(kHttpErrNone);
}

void THttpCli::Fail(std::uint16_t Code, int Status, const std::string& Reason) {
    status_code_ = Status;
    reason_ = Reason;
    Finish(Code);
}

void THttpCli::Finish(std::uint16_t Code) {
    DropSocket();
    timer_->stop();
    phase_ = TPhase::Finishing;
    const std::uint64_t generation = generation_;
    // Raised from the event loop with no socket code on the stack, so the handler may
    // start the next request or destroy this client.
    QMetaObject::invokeMethod(
        this,
        [this, generation, Code] {
            if (generation != generation_ || phase_ != TPhase::Finishing)
                return;
            phase_ = TPhase::Idle;
            busy_ = false;
            // A copy: the handler may destroy this client, and its own callable with it.
            const TRequestDone done = OnRequestDone;
            if (done)
                done(this, THttpRequest::Get, Code);
        },
        Qt::QueuedConnection);
}

void THttpCli::DropSocket() {
    if (lookup_id_ >= 0) {
        QHostInfo::abortHostLookup(lookup_id_);
        lookup_id_ = -1;
    }
    if (QAbstractSocket* s = socket_.data()) {
        socket_ = nullptr;
        s->disconnect(this);
        s->disconnect();
        s->abort();
        s->deleteLater();
    }
}

const TSslContext* TSslHttpCli::TlsContext() const {
    return SslContext ? SslContext : &default_context_;
}

TSslHttpCli* ApplyClientProfile(TSslHttpCli* Cli) {
    Cli->Agent = "Mozilla/5.0";
    Cli->SetRequestVer("1.1");
    Cli->Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8";
    Cli->AcceptLanguage = "fr,fr-fr;q=0.8,en-us;q=0.5,en;q=0.3";
    Cli->Timeout = 3;
    Cli->ProxyAuth = THttpAuth::Basic;
    return Cli;
}
