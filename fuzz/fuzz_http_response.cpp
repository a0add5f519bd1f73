// libFuzzer target for the HTTP response parser (status line, headers, bodies, chunked coding)
// and for address splitting and Location resolution.
#include "http/http_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool Condition) {
    if (!Condition)
        std::abort();
}

void FuzzParser(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 2)
        return;
    // The first bytes choose how the input is cut into reads and whether the peer closes.
    const std::size_t step = 1 + Data[0] % 64;
    const bool eof = (Data[1] & 1) != 0;
    const std::size_t max_head = 64 + (Data[1] >> 1) * 8;
    const std::size_t max_body = 256;
    Data += 2;
    Size -= 2;

    THttpResponseParser parser(max_head, max_body);
    std::string body;
    for (std::size_t i = 0; i < Size; i += step) {
        const std::size_t n = Size - i < step ? Size - i : step;
        parser.Feed(reinterpret_cast<const char*>(Data + i), n, &body);
    }
    if (eof)
        parser.FeedEof();

    Check(body.size() == parser.BodySize());
    Check(body.size() <= max_body);
    Check(parser.StatusCode() == 0 || (parser.StatusCode() >= 100 && parser.StatusCode() <= 999));
    Check((parser.State() == THttpResponseParser::TState::Failed) ==
          (parser.Failure() != THttpResponseParser::TFailure::None));
    if (eof)
        Check(parser.State() == THttpResponseParser::TState::Done ||
              parser.State() == THttpResponseParser::TState::Failed);
    (void)parser.FailureText();
    (void)parser.Header("location");
}

void FuzzUrl(const std::uint8_t* Data, std::size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    const std::size_t cut = text.find('\n');
    const std::string url = text.substr(0, cut);
    const std::string location = cut == std::string::npos ? "" : text.substr(cut + 1);

    for (const std::string& u : {url, ResolveLocation(url, location)}) {
        const THttpUrlParts parts = SplitHttpUrl(u);
        if (!parts.Valid)
            continue;
        // Nothing in the request line or the Host line may break a line.
        for (unsigned char c : parts.Path)
            Check(c > 0x20 && c < 0x7F);
        for (unsigned char c : parts.Host)
            Check(c > 0x20 && c != 0x7F);
        Check(parts.PortNumber() != 0);
        const std::string head = BuildGetRequestHead(parts, THttpHeadFields());
        Check(head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    FuzzParser(Data, Size);
    FuzzUrl(Data, Size);
    return 0;
}
