#include "http/http_parser.h"

#include "base/ascii.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kMaxChunkSizeLine = 4096;

std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Bytes that cannot stand in a request line go out percent-encoded.
std::string EncodeUnsafe(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool HasScheme(const std::string& s, std::size_t* colon) {
    if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z')))
        return false;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':') {
            *colon = i;
            return true;
        }
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) ||
                        c == '+' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return false;
}

// "a/b/../c/./d" style clean-up of a path without its query.
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> out;
    std::size_t i = 0;
    const bool absolute = !path.empty() && path[0] == '/';
    if (absolute)
        i = 1;
    bool trailing_slash = false;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        const std::string seg = path.substr(i, j - i);
        const bool last = j >= path.size();
        if (seg == "..") {
            if (!out.empty())
                out.pop_back();
            trailing_slash = last;
        } else if (seg == ".") {
            trailing_slash = last;
        } else {
            out.push_back(seg);
            trailing_slash = false;
        }
        i = j + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k > 0)
            result += '/';
        result += out[k];
    }
    if (trailing_slash && !result.empty() && result.back() != '/')
        result += '/';
    return result;
}

} // namespace

std::string THttpUrlParts::HostForConnect() const {
    if (Host.size() >= 2 && Host.front() == '[' && Host.back() == ']')
        return Host.substr(1, Host.size() - 2);
    return Host;
}

std::uint16_t THttpUrlParts::PortNumber() const {
    unsigned value = 0;
    for (char c : Port)
        value = value * 10 + static_cast<unsigned>(c - '0');
    return static_cast<std::uint16_t>(value);
}

THttpUrlParts SplitHttpUrl(const std::string& Url) {
    THttpUrlParts parts;
    std::string rest = Url;
    const std::size_t sep = Url.find("://");
    std::size_t colon = 0;
    if (sep != std::string::npos && HasScheme(Url, &colon) && colon == sep) {
        parts.Scheme = base::LowerAscii(Url.substr(0, sep));
        rest = Url.substr(sep + 3);
    } else {
        parts.Scheme = "http";
    }

    const std::size_t auth_end = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, auth_end);
    std::string path = auth_end == std::string::npos ? std::string() : rest.substr(auth_end);
    const std::size_t hash = path.find('#');
    if (hash != std::string::npos)
        path.erase(hash);
    if (path.empty())
        path = "/";
    else if (path[0] == '?')
        path.insert(0, "/");
    parts.Path = EncodeUnsafe(path);

    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string user = authority.substr(0, at);
        const std::size_t pw = user.find(':');
        parts.User = user.substr(0, pw);
        if (pw != std::string::npos)
            parts.Password = user.substr(pw + 1);
        authority.erase(0, at + 1);
    }

    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            parts.Error = "Invalid host name \"" + authority + "\"";
            return parts;
        }
        parts.Host = authority.substr(0, close + 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') {
                parts.Error = "Invalid host name \"" + authority + "\"";
                return parts;
            }
            port = after.substr(1);
        }
    } else {
        const std::size_t pc = authority.find(':');
        parts.Host = authority.substr(0, pc);
        if (pc != std::string::npos)
            port = authority.substr(pc + 1);
    }

    if (parts.HostForConnect().empty()) {
        parts.Error = "Empty host name";
        return parts;
    }
    for (unsigned char c : parts.Host) {
        if (c <= 0x20 || c == 0x7F) {
            parts.Error = "Invalid host name \"" + parts.Host + "\"";
            return parts;
        }
    }
    if (!port.empty()) {
        unsigned long value = 0;
        bool ok = port.size() <= 5;
        for (char c : port) {
            ok = ok && IsDigit(c);
            if (ok)
                value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!ok || value == 0 || value > 65535) {
            parts.Error = "Invalid port number \"" + port + "\"";
            return parts;
        }
        parts.Port = port;
        parts.PortGiven = true;
    } else {
        parts.Port = parts.Scheme == "https" ? "443" : "80";
    }
    parts.Valid = true;
    return parts;
}

std::string BuildGetRequestHead(const THttpUrlParts& Parts, const THttpHeadFields& Fields) {
    std::string head;
    auto line = [&head](const char* name, const std::string& value) {
        if (!value.empty())
            head += std::string(name) + value + "\r\n";
    };
    head += "GET " + Parts.Path + " HTTP/" + Fields.RequestVer + "\r\n";
    line("From: ", Fields.Sender);
    line("Accept: ", Fields.Accept);
    line("Referer: ", Fields.Referrer);
    line("Connection: ", Fields.Connection);
    line("Accept-Language: ", Fields.AcceptLanguage);
    line("Accept-Encoding: ", Fields.AcceptEncoding);
    line("User-Agent: ", Fields.Agent);
    std::string host = Parts.Host;
    if (!Parts.Port.empty() && Parts.Port != "80" && Parts.Port != "443")
        host += ":" + Parts.Port;
    line("Host: ", host);
    for (const std::string& extra : Fields.ExtraHeaders)
        if (!extra.empty())
            head += extra + "\r\n";
    head += "\r\n";
    return head;
}

std::string ResolveLocation(const std::string& Current, const std::string& Location) {
    if (Location.empty())
        return Current;
    const THttpUrlParts cur = SplitHttpUrl(Current);
    if (Location.size() >= 2 && Location[0] == '/' && Location[1] == '/')
        return cur.Scheme + ":" + Location;
    std::size_t colon = 0;
    if (HasScheme(Location, &colon))
        return Location;

    std::string base = cur.Scheme + "://" + cur.Host;
    if (cur.PortGiven)
        base += ":" + cur.Port;
    std::string cur_path = cur.Path;
    const std::size_t q = cur_path.find('?');
    if (q != std::string::npos)
        cur_path.erase(q);

    std::string target;
    if (Location[0] == '/') {
        target = Location;
    } else if (Location[0] == '?') {
        return base + cur_path + Location;
    } else {
        target = cur_path.substr(0, cur_path.rfind('/') + 1) + Location;
    }
    const std::size_t tq = target.find_first_of("?#");
    const std::string tail = tq == std::string::npos ? std::string() : target.substr(tq);
    return base + RemoveDotSegments(target.substr(0, tq)) + tail;
}

THttpResponseParser::THttpResponseParser(std::size_t MaxHeadSize, std::size_t MaxBodySize)
    : max_head_(MaxHeadSize), max_body_(MaxBodySize) {}

void THttpResponseParser::Fail(TFailure Failure, const char* Detail) {
    state_ = TState::Failed;
    failure_ = Failure;
    detail_ = Detail;
}

std::string THttpResponseParser::FailureText() const {
    switch (failure_) {
    case TFailure::None:
        return "";
    case TFailure::ClosedBeforeStatus:
        return "HTTP no status code (connection closed prematurely)";
    case TFailure::BadStatusLine:
        return "HTTP no status code (invalid status line)";
    case TFailure::HeadTooLarge:
        return "HTTP header too large (more than " + std::to_string(max_head_) + " bytes)";
    case TFailure::BodyTooLarge:
        return "HTTP body too large (more than " + std::to_string(max_body_) + " bytes)";
    case TFailure::BadFraming:
        return "HTTP invalid response (" + detail_ + ")";
    case TFailure::Truncated:
        return "HTTP response incomplete (connection closed prematurely)";
    }
    return "";
}

std::string THttpResponseParser::Header(const std::string& Name) const {
    const std::string key = base::LowerAscii(Name);
    for (auto it = headers_.rbegin(); it != headers_.rend(); ++it)
        if (it->first == key)
            return it->second;
    return "";
}

bool THttpResponseParser::TakeLine(const char*& Data, std::size_t& Size, bool CountAsHead) {
    const void* nl = std::memchr(Data, '\n', Size);
    const std::size_t take =
        nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - Data) + 1 : Size;
    if (CountAsHead) {
        head_bytes_ += take;
        if (head_bytes_ > max_head_) {
            Fail(TFailure::HeadTooLarge);
            return false;
        }
    } else if (line_.size() + take > kMaxChunkSizeLine) {
        Fail(TFailure::BadFraming, "chunk size line too long");
        return false;
    }
    line_.append(Data, take);
    Data += take;
    Size -= take;
    if (!nl)
        return false;
    line_.pop_back();
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    return true;
}

void THttpResponseParser::HandleStatusLine(const std::string& Line) {
    if (Line.rfind("HTTP/1.0", 0) != 0 && Line.rfind("HTTP/1.1", 0) != 0) {
        Fail(TFailure::BadStatusLine);
        return;
    }
    // The code: three characters from the first digit at or after the tenth character.
    std::size_t pos = 9;
    while (pos < Line.size() && !IsDigit(Line[pos]))
        ++pos;
    if (pos + 3 > Line.size() || !IsDigit(Line[pos + 1]) || !IsDigit(Line[pos + 2]) ||
        Line[pos] == '0') {
        Fail(TFailure::BadStatusLine);
        return;
    }
    status_code_ = (Line[pos] - '0') * 100 + (Line[pos + 1] - '0') * 10 + (Line[pos + 2] - '0');
    reason_ = pos + 4 <= Line.size() ? Line.substr(pos + 4) : std::string();
    headers_.clear();
    state_ = TState::Headers;
}

void THttpResponseParser::HandleHeaderLine(const std::string& Line) {
    if ((Line[0] == ' ' || Line[0] == '\t') && !headers_.empty()) {
        // An old-style continuation line.
        headers_.back().second += " " + Trim(Line);
        return;
    }
    const std::size_t colon = Line.find(':');
    if (colon == std::string::npos || colon == 0)
        return; // not a header; ignore it
    headers_.emplace_back(base::LowerAscii(Trim(Line.substr(0, colon))),
                          Trim(Line.substr(colon + 1)));
}

void THttpResponseParser::EndOfHead() {
    if (status_code_ >= 100 && status_code_ < 200) {
        // Interim response: the real one follows.
        headers_.clear();
        state_ = TState::StatusLine;
        return;
    }
    if (status_code_ == 204 || status_code_ == 304) {
        state_ = TState::Done;
        return;
    }
    state_ = TState::Body;

    const std::string te = base::LowerAscii(Header("transfer-encoding"));
    if (!te.empty()) {
        const std::size_t comma = te.rfind(',');
        const std::string last = Trim(comma == std::string::npos ? te : te.substr(comma + 1));
        body_kind_ = last == "chunked" ? TBodyKind::Chunked : TBodyKind::UntilClose;
        chunk_phase_ = TChunkPhase::Size;
        return;
    }

    // Content-Length: every value given (repeated or comma-separated) must agree.
    bool have_length = false;
    std::uint64_t length = 0;
    for (const auto& [name, value] : headers_) {
        if (name != "content-length")
            continue;
        std::size_t start = 0;
        while (start <= value.size()) {
            std::size_t end = value.find(',', start);
            if (end == std::string::npos)
                end = value.size();
            const std::string item = Trim(value.substr(start, end - start));
            if (item.empty() || item.size() > 18 ||
                !std::all_of(item.begin(), item.end(), IsDigit)) {
                Fail(TFailure::BadFraming, "bad Content-Length");
                return;
            }
            const std::uint64_t v = std::stoull(item);
            if (have_length && v != length) {
                Fail(TFailure::BadFraming, "conflicting Content-Length");
                return;
            }
            have_length = true;
            length = v;
            start = end + 1;
        }
    }
    if (!have_length) {
        body_kind_ = TBodyKind::UntilClose;
        return;
    }
    if (length > max_body_) {
        Fail(TFailure::BodyTooLarge);
        return;
    }
    body_kind_ = TBodyKind::Length;
    remaining_ = length;
    if (remaining_ == 0)
        state_ = TState::Done;
}

void THttpResponseParser::AppendBody(const char* Data, std::size_t Size, std::string* Body) {
    if (Size > max_body_ - body_size_) {
        Fail(TFailure::BodyTooLarge);
        return;
    }
    body_size_ += Size;
    if (Body)
        Body->append(Data, Size);
}

void THttpResponseParser::HandleChunkSizeLine() {
    std::size_t i = 0;
    while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t'))
        ++i;
    std::uint64_t size = 0;
    std::size_t digits = 0;
    while (i < line_.size() && base::HexDigitValue(line_[i]) >= 0) {
        if (++digits > 15) {
            Fail(TFailure::BadFraming, "bad chunk size");
            return;
        }
        size = size * 16 + static_cast<std::uint64_t>(base::HexDigitValue(line_[i]));
        ++i;
    }
    while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t'))
        ++i;
    if (digits == 0 || (i < line_.size() && line_[i] != ';')) {
        Fail(TFailure::BadFraming, "bad chunk size");
        return;
    }
    if (size > max_body_ - body_size_) {
        Fail(TFailure::BodyTooLarge);
        return;
    }
    if (size == 0) {
        chunk_phase_ = TChunkPhase::Trailer;
    } else {
        chunk_phase_ = TChunkPhase::Data;
        remaining_ = size;
    }
}

void THttpResponseParser::Feed(const char* Data, std::size_t Size, std::string* Body) {
    while (Size > 0 &&
           (state_ == TState::StatusLine || state_ == TState::Headers || state_ == TState::Body)) {
        if (state_ == TState::StatusLine || state_ == TState::Headers) {
            if (!TakeLine(Data, Size, true))
                continue;
            std::string line;
            line.swap(line_);
            if (state_ == TState::StatusLine) {
                if (!line.empty()) // blank lines before the status line are tolerated
                    HandleStatusLine(line);
            } else if (line.empty()) {
                EndOfHead();
            } else {
                HandleHeaderLine(line);
            }
            continue;
        }

        // Body.
        if (body_kind_ == TBodyKind::UntilClose) {
            AppendBody(Data, Size, Body);
            Size = 0;
        } else if (body_kind_ == TBodyKind::Length || chunk_phase_ == TChunkPhase::Data) {
            // A counted stretch: the whole body by Content-Length, or one chunk's data.
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, Size));
            AppendBody(Data, n, Body);
            Data += n;
            Size -= n;
            remaining_ -= n;
            if (remaining_ == 0) {
                if (body_kind_ != TBodyKind::Length)
                    chunk_phase_ = TChunkPhase::DataEnd;
                else if (state_ == TState::Body)
                    state_ = TState::Done;
            }
        } else if (chunk_phase_ == TChunkPhase::Trailer) {
            if (!TakeLine(Data, Size, true))
                continue;
            const bool end = line_.empty();
            line_.clear();
            if (end)
                state_ = TState::Done;
        } else {
            if (!TakeLine(Data, Size, false))
                continue;
            if (chunk_phase_ == TChunkPhase::Size) {
                HandleChunkSizeLine();
            } else if (!line_.empty()) {
                Fail(TFailure::BadFraming, "bad chunk end");
            } else {
                chunk_phase_ = TChunkPhase::Size;
            }
            line_.clear();
        }
    }
}

void THttpResponseParser::FeedEof() {
    switch (state_) {
    case TState::StatusLine:
        Fail(TFailure::ClosedBeforeStatus);
        break;
    case TState::Headers:
        Fail(TFailure::Truncated);
        break;
    case TState::Body:
        if (body_kind_ == TBodyKind::UntilClose)
            state_ = TState::Done;
        else
            Fail(TFailure::Truncated);
        break;
    case TState::Done:
    case TState::Failed:
        break;
    }
}
