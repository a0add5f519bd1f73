#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The pure parts of the HTTP client: address splitting, the request head, resolving a
// Location value, and an incremental response parser. No sockets here.

struct THttpUrlParts {
    bool Valid = false;
    std::string Error;    // why the address cannot be requested, when !Valid
    std::string Scheme;   // lower case
    std::string User;     // before "@", may be empty
    std::string Password; // after the first ":" of the user part
    std::string Host;     // as written, an IPv6 literal with its brackets
    std::string Port;     // as written; the scheme's default when none was given
    bool PortGiven = false;
    std::string Path; // from the first "/" or "?" after the host, query included; never empty

    // Host without the brackets of an IPv6 literal.
    std::string HostForConnect() const;
    std::uint16_t PortNumber() const;
};

// Splits an address: scheme "://" [user[:password]@] host [":" port] path. Without a port,
// "https" uses 443 and any other scheme 80. The fragment is not part of the path; bytes that
// cannot stand in a request line (controls, blanks) are percent-encoded.
THttpUrlParts SplitHttpUrl(const std::string& Url);

struct THttpHeadFields {
    std::string RequestVer = "1.1";
    std::string Sender; // "From:"
    std::string Accept;
    std::string Referrer;
    std::string Connection;
    std::string AcceptLanguage;
    std::string AcceptEncoding;
    std::string Agent;
    std::vector<std::string> ExtraHeaders; // whole lines without the line end
};

// The head of a GET for Parts, ending with the empty line; lines end with CR LF, a line whose
// value is empty is left out.
std::string BuildGetRequestHead(const THttpUrlParts& Parts, const THttpHeadFields& Fields);

// The address a Location value points to, seen from Current: "//host/..." takes the current
// scheme, an absolute address stands as it is, anything else is resolved against Current.
std::string ResolveLocation(const std::string& Current, const std::string& Location);

// Incremental parser of one response (and any 1xx interim responses before it).
class THttpResponseParser {
  public:
    enum class TState { StatusLine, Headers, Body, Done, Failed };
    enum class TFailure {
        None,
        ClosedBeforeStatus, // connection closed before a whole status line
        BadStatusLine,      // first line is not an HTTP/1.0 or HTTP/1.1 status line
        HeadTooLarge,
        BodyTooLarge,
        BadFraming, // unreadable Content-Length or chunk size
        Truncated   // closed before the head or the announced body was complete
    };

    THttpResponseParser(std::size_t MaxHeadSize, std::size_t MaxBodySize);

    // Consumes received bytes; body bytes are appended to Body. Bytes after the end of the
    // response are ignored.
    void Feed(const char* Data, std::size_t Size, std::string* Body);
    // The peer closed the connection: ends a body that runs to the close, or fails.
    void FeedEof();

    TState State() const { return state_; }
    TFailure Failure() const { return failure_; }
    std::string FailureText() const;
    bool HasStatus() const { return status_code_ != 0; }
    int StatusCode() const { return status_code_; }
    const std::string& ReasonPhrase() const { return reason_; }
    // Value of the last header of that name (compared in lower case), "" when absent.
    std::string Header(const std::string& Name) const;
    const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }
    std::size_t BodySize() const { return body_size_; }

  private:
    enum class TBodyKind { None, Length, Chunked, UntilClose };
    enum class TChunkPhase { Size, Data, DataEnd, Trailer };

    void Fail(TFailure Failure, const char* Detail = "");
    // Collects one line into line_; false while it is incomplete (or on failure).
    bool TakeLine(const char*& Data, std::size_t& Size, bool CountAsHead);
    void HandleChunkSizeLine();
    void HandleStatusLine(const std::string& Line);
    void HandleHeaderLine(const std::string& Line);
    void EndOfHead();
    void AppendBody(const char* Data, std::size_t Size, std::string* Body);

    std::size_t max_head_;
    std::size_t max_body_;
    TState state_ = TState::StatusLine;
    TFailure failure_ = TFailure::None;
    std::string detail_;
    std::string line_;           // partial line being collected
    std::size_t head_bytes_ = 0; // status line and header bytes seen so far
    int status_code_ = 0;
    std::string reason_;
    std::vector<std::pair<std::string, std::string>> headers_;
    TBodyKind body_kind_ = TBodyKind::None;
    std::uint64_t remaining_ = 0; // of the Content-Length or of the current chunk
    TChunkPhase chunk_phase_ = TChunkPhase::Size;
    std::size_t body_size_ = 0;
};
