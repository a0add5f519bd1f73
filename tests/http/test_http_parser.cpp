// The response parser, address splitting, the request head and Location resolution: pure
// functions, fed whole and byte by byte.
#include "http/http_parser.h"

#include <gtest/gtest.h>

namespace {

using TState = THttpResponseParser::TState;
using TFailure = THttpResponseParser::TFailure;

struct ParseCase {
    const char* name;
    std::string input;
    bool eof; // the peer closes after the input
    TState state;
    TFailure failure;
    int status;
    std::string reason;
    std::string body;
};

std::vector<ParseCase> Cases() {
    return {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello+junk", false, TState::Done,
         TFailure::None, 200, "OK", "hello"},
        {"length_zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, TState::Done,
         TFailure::None, 200, "OK", ""},
        {"reason_with_blanks", "HTTP/1.0 404 Not Found Here\r\n\r\n<html>x</html>", true,
         TState::Done, TFailure::None, 404, "Not Found Here", "<html>x</html>"},
        {"no_reason", "HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nz", false, TState::Done,
         TFailure::None, 200, "", "z"},
        // The code starts at the first digit from the tenth character on.
        {"code_after_blanks", "HTTP/1.1   302 Found\r\nContent-Length: 0\r\n\r\n", false,
         TState::Done, TFailure::None, 302, "Found", ""},
        {"bare_lf", "HTTP/1.1 200 OK\nContent-Length: 2\n\nab", false, TState::Done, TFailure::None,
         200, "OK", "ab"},
        {"leading_blank_line", "\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false,
         TState::Done, TFailure::None, 200, "OK", "ab"},
        {"close_delimited", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n1.2.3.4\n", true,
         TState::Done, TFailure::None, 200, "OK", "1.2.3.4\n"},
        {"close_delimited_open", "HTTP/1.1 200 OK\r\n\r\nabc", false, TState::Body, TFailure::None,
         200, "OK", "abc"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "4\r\n1.10\r\nA;ext=1\r\n.4.24xxxxx\r\n0\r\nX-Trailer: t\r\n\r\nafter",
         false, TState::Done, TFailure::None, 200, "OK", "1.10.4.24xxxxx"},
        {"chunked_wins_over_length",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
         "2\r\nok\r\n0\r\n\r\n",
         false, TState::Done, TFailure::None, 200, "OK", "ok"},
        {"interim_100",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nq", false,
         TState::Done, TFailure::None, 200, "OK", "q"},
        {"no_body_304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n", false,
         TState::Done, TFailure::None, 304, "Not Modified", ""},
        {"folded_header", "HTTP/1.1 200 OK\r\nX-A: a\r\n  b\r\nContent-Length: 0\r\n\r\n", false,
         TState::Done, TFailure::None, 200, "OK", ""},
        {"closed_before_anything", "", true, TState::Failed, TFailure::ClosedBeforeStatus, 0, "",
         ""},
        {"closed_in_status_line", "HTTP/1.1 200 O", true, TState::Failed,
         TFailure::ClosedBeforeStatus, 0, "", ""},
        {"not_http", "SSH-2.0-x\r\n\r\n", false, TState::Failed, TFailure::BadStatusLine, 0, "",
         ""},
        {"http2_line", "HTTP/2 200 OK\r\n\r\n", false, TState::Failed, TFailure::BadStatusLine, 0,
         "", ""},
        {"lower_case_http", "http/1.1 200 OK\r\n\r\n", false, TState::Failed,
         TFailure::BadStatusLine, 0, "", ""},
        {"short_code", "HTTP/1.1 20\r\n\r\n", false, TState::Failed, TFailure::BadStatusLine, 0, "",
         ""},
        {"letters_in_code", "HTTP/1.1 2x0 OK\r\n\r\n", false, TState::Failed,
         TFailure::BadStatusLine, 0, "", ""},
        {"closed_in_headers", "HTTP/1.1 200 OK\r\nContent-Len", true, TState::Failed,
         TFailure::Truncated, 200, "OK", ""},
        {"closed_in_length_body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1.2", true,
         TState::Failed, TFailure::Truncated, 200, "OK", "1.2"},
        {"closed_in_chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n1.2", true,
         TState::Failed, TFailure::Truncated, 200, "OK", "1.2"},
        {"bad_length", "HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nabc", false, TState::Failed,
         TFailure::BadFraming, 200, "OK", ""},
        {"negative_length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, TState::Failed,
         TFailure::BadFraming, 200, "OK", ""},
        {"conflicting_lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         false, TState::Failed, TFailure::BadFraming, 200, "OK", ""},
        {"same_lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\n\r\nab", false, TState::Done,
         TFailure::None, 200, "OK", "ab"},
        {"bad_chunk_size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
         TState::Failed, TFailure::BadFraming, 200, "OK", ""},
        {"chunk_size_overflow",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n", false,
         TState::Failed, TFailure::BadFraming, 200, "OK", ""},
        {"bad_chunk_end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n", false,
         TState::Failed, TFailure::BadFraming, 200, "OK", "a"},
        // Limits of the parser under test: 256 head bytes, 16 body bytes.
        {"head_too_large", "HTTP/1.1 200 OK\r\nX: " + std::string(300, 'h') + "\r\n\r\n", false,
         TState::Failed, TFailure::HeadTooLarge, 200, "OK", ""},
        {"endless_status_line", "HTTP/1.1 200 " + std::string(300, 'r'), false, TState::Failed,
         TFailure::HeadTooLarge, 0, "", ""},
        {"announced_body_too_large", "HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n", false,
         TState::Failed, TFailure::BodyTooLarge, 200, "OK", ""},
        {"close_body_too_large", "HTTP/1.1 200 OK\r\n\r\n" + std::string(17, 'b'), false,
         TState::Failed, TFailure::BodyTooLarge, 200, "OK", std::string(16, 'b')},
        {"chunk_too_large", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n11\r\n", false,
         TState::Failed, TFailure::BodyTooLarge, 200, "OK", ""},
        {"endless_interim",
         [] {
             std::string s;
             for (int i = 0; i < 20; ++i)
                 s += "HTTP/1.1 100 Continue\r\n\r\n";
             return s;
         }(),
         false, TState::Failed, TFailure::HeadTooLarge, 100, "Continue", ""},
    };
}

class ResponseParse : public testing::TestWithParam<ParseCase> {};

void Check(const ParseCase& c, const THttpResponseParser& p, const std::string& body) {
    EXPECT_EQ(p.State(), c.state);
    EXPECT_EQ(p.Failure(), c.failure) << p.FailureText();
    EXPECT_EQ(p.StatusCode(), c.status);
    EXPECT_EQ(p.ReasonPhrase(), c.reason);
    // A body that ran into the limit may hold the part before it, never more.
    if (c.failure == TFailure::BodyTooLarge)
        EXPECT_LE(body.size(), 16u);
    else
        EXPECT_EQ(body, c.body);
}

TEST_P(ResponseParse, Whole) {
    const ParseCase& c = GetParam();
    THttpResponseParser p(256, 16);
    std::string body;
    p.Feed(c.input.data(), c.input.size(), &body);
    if (c.eof)
        p.FeedEof();
    Check(c, p, body);
}

TEST_P(ResponseParse, ByteByByte) {
    const ParseCase& c = GetParam();
    THttpResponseParser p(256, 16);
    std::string body;
    for (char ch : c.input)
        p.Feed(&ch, 1, &body);
    if (c.eof)
        p.FeedEof();
    Check(c, p, body);
}

INSTANTIATE_TEST_SUITE_P(Responses, ResponseParse, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<ParseCase>& i) { return i.param.name; });

TEST(ResponseParser, HeadersByLowerCaseName) {
    const std::string r = "HTTP/1.1 301 Moved\r\nLOCATION:  /next \r\nX-Two: 1\r\nx-two: 2\r\n"
                          "Content-Length: 0\r\n\r\n";
    THttpResponseParser p(4096, 4096);
    p.Feed(r.data(), r.size(), nullptr);
    EXPECT_EQ(p.State(), TState::Done);
    EXPECT_EQ(p.Header("Location"), "/next");
    EXPECT_EQ(p.Header("x-two"), "2");
    EXPECT_EQ(p.Header("absent"), "");
}

TEST(ResponseParser, FailureTexts) {
    THttpResponseParser p(4096, 4096);
    p.FeedEof();
    EXPECT_EQ(p.FailureText(), "HTTP no status code (connection closed prematurely)");
}

struct UrlCase {
    const char* url;
    bool valid;
    const char* scheme;
    const char* host;
    const char* port;
    const char* path;
};

TEST(HttpUrl, Split) {
    const UrlCase cases[] = {
        {"https://update.example.test/tally/check.php?uid=0&VH=1", true, "https",
         "update.example.test", "443", "/tally/check.php?uid=0&VH=1"},
        {"http://example.test:8080", true, "http", "example.test", "8080", "/"},
        {"HTTP://Example.test?q=1#frag", true, "http", "Example.test", "80", "/?q=1"},
        {"ftp://example.test/file", true, "ftp", "example.test", "80", "/file"},
        {"http://user:pw@127.0.0.1:81/a b", true, "http", "127.0.0.1", "81", "/a%20b"},
        {"http://[::1]:8080/x", true, "http", "[::1]", "8080", "/x"},
        {"http://[::1/x", false, "", "", "", ""},
        {"http://example.test:0/", false, "", "", "", ""},
        {"http://example.test:65536/", false, "", "", "", ""},
        {"http://example.test:8x/", false, "", "", "", ""},
        {"http:///path", false, "", "", "", ""},
        {"", false, "", "", "", ""},
    };
    for (const UrlCase& c : cases) {
        const THttpUrlParts p = SplitHttpUrl(c.url);
        EXPECT_EQ(p.Valid, c.valid) << c.url;
        if (!p.Valid || !c.valid) {
            EXPECT_FALSE(p.Error.empty()) << c.url;
            continue;
        }
        EXPECT_EQ(p.Scheme, c.scheme) << c.url;
        EXPECT_EQ(p.Host, c.host) << c.url;
        EXPECT_EQ(p.Port, c.port) << c.url;
        EXPECT_EQ(p.Path, c.path) << c.url;
    }
    const THttpUrlParts user = SplitHttpUrl("http://user:pw@127.0.0.1:81/");
    EXPECT_EQ(user.User, "user");
    EXPECT_EQ(user.Password, "pw");
    EXPECT_EQ(SplitHttpUrl("http://[::1]:8080/").HostForConnect(), "::1");
}

TEST(HttpUrl, ResolveLocation) {
    const std::string cur = "https://a.test:8443/dir/page.php?x=1";
    const struct {
        const char* location;
        const char* expected;
    } cases[] = {
        {"http://b.test/new", "http://b.test/new"},
        {"//c.test/p", "https://c.test/p"},
        {"/root?y=2", "https://a.test:8443/root?y=2"},
        {"other.php", "https://a.test:8443/dir/other.php"},
        {"../up/./x", "https://a.test:8443/up/x"},
        {"?z=3", "https://a.test:8443/dir/page.php?z=3"},
        {"", "https://a.test:8443/dir/page.php?x=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveLocation(cur, c.location), c.expected) << c.location;
}

} // namespace
