// The update checker against a stand-in service started here on 127.0.0.1.
#include "update/U_Tally_Lite.h"

#include "http/U_HTTP_Custo.h"
#include "http/tls.h"
#include "huelet_config.h"
#include "identity/fixtures.h"
#include "services/U_Log.h"
#include "services/filefunctions.h"
#include "stand_in_service.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The log's messages, oldest first, as "Level message".
std::vector<std::string> Messages(const TKLog& Log) {
    std::vector<std::string> out;
    for (auto it = Log.Lines().rbegin(); it != Log.Lines().rend(); ++it) {
        const std::size_t first = it->find('\t');
        const std::size_t second = it->find('\t', first + 1);
        out.push_back(it->substr(0, first) + " " + it->substr(second + 1));
    }
    return out;
}

// The part of Text between Prefix and Suffix, or nullopt when Text is not shaped so.
std::optional<std::string> Between(const std::string& Text, const std::string& Prefix,
                                   const std::string& Suffix) {
    if (Text.size() < Prefix.size() + Suffix.size() ||
        Text.compare(0, Prefix.size(), Prefix) != 0 ||
        Text.compare(Text.size() - Suffix.size(), Suffix.size(), Suffix) != 0)
        return std::nullopt;
    return Text.substr(Prefix.size(), Text.size() - Prefix.size() - Suffix.size());
}

bool IsDecimal(const std::string& Text, bool Signed) {
    const std::size_t start = Signed && !Text.empty() && Text[0] == '-' ? 1 : 0;
    return Text.size() > start && Text.find_first_not_of("0123456789", start) == std::string::npos;
}

class TallyLiteTest : public testing::Test {
  protected:
    void SetUp() override {
        exe = env.Folder("app") + "huelet.exe";
        ASSERT_TRUE(fixtures::WritePeFile(
            exe, fixtures::MakeVersionInfo({{"CompanyName", "Norwick Softworks"},
                                            {"FileDescription", "Huelet"},
                                            {"FileVersion", "1.10.4.23"},
                                            {"ProductName", "Huelet"}},
                                           "1.10.4.23")));
    }
    void TearDown() override {
        unsetenv(kUpdateUrlVariable);
        SetTlsDisabledForTest(false);
    }

    void PointAt(const std::string& Base) { setenv(kUpdateUrlVariable, Base.c_str(), 1); }

    std::unique_ptr<TKLog> NewLog(bool Verbose) {
        return std::make_unique<TKLog>(env.Root() + "Huelet.log", Verbose, 10000, false);
    }

    // Starts one check and waits for its callback.
    void RunCheck(TTallyLite& Checker, const std::string& Path) {
        Checker.StartCheck(Path, nullptr, [this](TTallyLite* Sender) {
            ++callbacks;
            EXPECT_FALSE(Sender->Busy());
        });
        EXPECT_TRUE(Checker.Busy());
        ASSERT_TRUE(SpinUntil([&] { return callbacks > 0; }));
    }

    fixtures::TempEnvironment env;
    std::string exe;
    int callbacks = 0;
};

const std::string kOwnQuery =
    "/tally/check.php?uid=0&ProductName=Huelet&Company=Norwick%20Softworks&VH=65546&VL=262167";

TEST_F(TallyLiteTest, RequestLineForTheProgramItself) {
    const std::string own = HUELET_BUILD_DIR "/huelet";
    for (const std::string& path : {exe, own}) {
        if (path == own && !WideFileExists(own))
            continue; // the executable is checked once it is built
        SCOPED_TRACE(path);
        StandInService service("1.10.4.23");
        PointAt(service.Base() + "/");
        auto log = NewLog(false);
        TTallyLite checker(log.get(), "Huelet");
        TSslHttpCli* seen = nullptr;
        checker.OnClientReady = [&](TSslHttpCli* Client) {
            seen = Client;
            EXPECT_EQ(Client->Timeout, 10);
            EXPECT_EQ(Client->Proxy, "");
            EXPECT_EQ(Client->ProxyPort, "");
            EXPECT_EQ(Client->Agent, "Mozilla/5.0");
        };
        callbacks = 0;
        RunCheck(checker, path);
        ASSERT_NE(seen, nullptr);
        ASSERT_EQ(service.request_lines.size(), 1u);
        EXPECT_EQ(service.request_lines[0], "GET " + kOwnQuery + " HTTP/1.1");
        EXPECT_EQ(checker.RequestUrl(), service.Base() + kOwnQuery);
        EXPECT_EQ(callbacks, 1);
    }
}

// The reply body judged against the running 1.10.4.23.
TEST_F(TallyLiteTest, RepliesJudged) {
    const struct {
        std::string body;
        int status;
        std::string shown;
        bool newer;
        bool valid;
    } cases[] = {
        {"1.10.4.24", 200, "1.10.4.24", true, true},
        {"1.10.4.23", 200, "1.10.4.23", false, true},
        {"1.9.200.0", 200, "1.9.200.0", false, true},
        {"2.0", 200, "2.0.0.0", true, true},
        // Its high half is above any real version.
        {"-1.0.0.0", 200, "-1.0.0.0", true, false},
        {"", 200, "0.0.0.0", false, false},
        // Not trimmed: the last field reads as 0.
        {"1.10.4.24\n", 200, "1.10.4.0", false, true},
        {"<html>gone</html>", 404, "0.0.0.0", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("reply \"" + c.body + "\"");
        StandInService service(c.body, c.status);
        PointAt(service.Base());
        auto log = NewLog(true);
        TTallyLite checker(log.get(), "Huelet");
        callbacks = 0;
        RunCheck(checker, exe);
        EXPECT_EQ(callbacks, 1);
        EXPECT_FALSE(checker.Busy());
        EXPECT_EQ(checker.NewerAvailable(), c.newer);
        EXPECT_EQ(checker.ReplyValid(), c.valid);

        const std::vector<std::string> m = Messages(*log);
        ASSERT_GE(m.size(), 2u);
        EXPECT_EQ(m[0], "Info Huelet Update self check : Initialization");
        // "... Server replied <version> in <elapsed>ms"
        const auto replied = Between(
            m[1], "Info Huelet Update self check : Server replied " + c.shown + " in ", "ms");
        ASSERT_TRUE(replied.has_value()) << m[1];
        EXPECT_TRUE(IsDecimal(*replied, true)) << m[1];
        if (c.valid) {
            EXPECT_EQ(m.size(), 2u);
        } else {
            ASSERT_EQ(m.size(), 3u);
            EXPECT_EQ(m[2], std::string("Verbose Huelet Update self check : Server error (0 "
                                        "Cause : ") +
                                (c.status == 200 ? "OK" : "Not Found") + ")");
        }
    }
}

TEST_F(TallyLiteTest, FailedRequestLogsTheCodeOnly) {
    quint16 port = 0;
    {
        StandInService closed; // a port nobody listens on any more
        port = closed.serverPort();
    }
    PointAt("http://127.0.0.1:" + std::to_string(port));
    auto log = NewLog(true);
    TTallyLite checker(log.get(), "Huelet");
    RunCheck(checker, exe);
    EXPECT_EQ(callbacks, 1);
    EXPECT_FALSE(checker.NewerAvailable());
    EXPECT_FALSE(checker.ReplyValid());
    const std::vector<std::string> m = Messages(*log);
    ASSERT_EQ(m.size(), 2u);
    const auto code = Between(m[1], "Error Huelet Update self check : Server error (", ")");
    ASSERT_TRUE(code.has_value()) << m[1];
    EXPECT_TRUE(IsDecimal(*code, false)) << m[1];
    EXPECT_NE(*code, "0");
}

TEST_F(TallyLiteTest, WithoutTlsTheCheckGoesOverHttp) {
    SetTlsDisabledForTest(true);
    for (const bool verbose : {true, false}) {
        SCOPED_TRACE(verbose ? "verbose log" : "plain log");
        StandInService service("1.10.4.24");
        PointAt(service.Base("https"));
        auto log = NewLog(verbose);
        TTallyLite checker(log.get(), "Huelet");
        callbacks = 0;
        RunCheck(checker, exe);
        EXPECT_EQ(checker.RequestUrl(), service.Base("http") + kOwnQuery);
        ASSERT_EQ(service.request_lines.size(), 1u);
        EXPECT_TRUE(checker.NewerAvailable());
        const std::vector<std::string> m = Messages(*log);
        const std::vector<std::string> head(m.begin(),
                                            m.begin() + std::min<std::size_t>(2, m.size()));
        if (verbose)
            EXPECT_EQ(head,
                      (std::vector<std::string>{"Info Huelet Update self check : Initialization",
                                                "Verbose TallyLite : No SSL / Back to HTTP"}));
        else
            EXPECT_EQ(m.size(), 2u); // Initialization and the reply only
    }
}

TEST_F(TallyLiteTest, DestroyedDuringRequestNoCallbackFollows) {
    StandInService silent("", 200, false);
    PointAt(silent.Base());
    auto log = NewLog(true);
    auto checker = std::make_unique<TTallyLite>(log.get(), "Huelet");
    checker->StartCheck(exe, nullptr, [this](TTallyLite*) { ++callbacks; });
    ASSERT_TRUE(SpinUntil([&] { return !silent.request_lines.empty(); }));
    checker.reset();
    // The connection is dropped, and nothing else happens.
    ASSERT_TRUE(SpinUntil([&] { return silent.disconnects > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(Messages(*log),
              std::vector<std::string>{"Info Huelet Update self check : Initialization"});
}

TEST_F(TallyLiteTest, ClientOwnedElsewhereMayGoFirst) {
    StandInService silent("", 200, false);
    PointAt(silent.Base());
    auto log = NewLog(false);
    auto owner = std::make_unique<QObject>();
    TTallyLite checker(log.get(), "Huelet");
    checker.StartCheck(exe, owner.get(), [this](TTallyLite*) { ++callbacks; });
    ASSERT_TRUE(SpinUntil([&] { return !silent.request_lines.empty(); }));
    owner.reset(); // takes the client with it; the checker must not free it again
    QCoreApplication::processEvents();
    EXPECT_EQ(callbacks, 0);
}

TEST_F(TallyLiteTest, ErrorWhileStartingEndsTheCheckAsFailed) {
    StandInService service("1.10.4.24");
    PointAt(service.Base());
    auto log = NewLog(false);
    TTallyLite checker(log.get(), "Huelet");
    checker.OnClientReady = [](TSslHttpCli*) { throw std::runtime_error("no socket"); };
    checker.StartCheck(exe, nullptr, [this](TTallyLite*) { ++callbacks; });
    // Never from inside StartCheck.
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(checker.Busy());
    ASSERT_TRUE(SpinUntil([&] { return callbacks > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(callbacks, 1);
    EXPECT_FALSE(checker.Busy());
    EXPECT_FALSE(checker.NewerAvailable());
    EXPECT_FALSE(checker.ReplyValid());
    EXPECT_TRUE(service.request_lines.empty());
    EXPECT_EQ(Messages(*log),
              (std::vector<std::string>{
                  "Info Huelet Update self check : Initialization",
                  "Error Huelet Update self check : Server error (-1 Cause : no socket)"}));

    // The next check works normally.
    checker.OnClientReady = nullptr;
    callbacks = 0;
    RunCheck(checker, exe);
    EXPECT_TRUE(checker.NewerAvailable());
}

TEST_F(TallyLiteTest, CallbackMayStartTheNextCheck) {
    StandInService service("1.10.4.23");
    PointAt(service.Base());
    auto log = NewLog(false);
    TTallyLite checker(log.get(), "Huelet");
    int done = 0;
    TTallyLite::TNotify again = [&](TTallyLite* Sender) {
        if (++done == 1)
            Sender->StartCheck(exe, nullptr, again);
    };
    checker.StartCheck(exe, nullptr, again);
    ASSERT_TRUE(SpinUntil([&] { return done == 2; }));
    EXPECT_EQ(service.request_lines.size(), 2u);
    EXPECT_TRUE(checker.ReplyValid());
}

TEST(EncodeQueryValue, Table) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"Huelet", "Huelet"},
        {"Norwick Softworks", "Norwick%20Softworks"},
        {"A&B Soft", "A%26B%20Soft"},
        {"~+&/", "%7E%2B%26%2F"},
        {"a-b.c_d09AZ", "a-b.c_d09AZ"},
        {"\xE9t\xE9", "%E9t%E9"},
        {std::string("\0\x01\x7F%", 4), "%00%01%7F%25"},
        {"?=#", "%3F%3D%23"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeQueryValue(c.in), c.out) << c.in;
}

TEST(UpdateServiceBaseUrl, EnvironmentOverridesTheBuildSetting) {
    std::string built = HUELET_UPDATE_URL;
    while (!built.empty() && built.back() == '/')
        built.pop_back();
    const struct {
        const char* value; // nullptr: unset
        std::string base;
    } cases[] = {
        {nullptr, built},
        {"", built},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080"},
        {"https://127.0.0.1", "https://127.0.0.1"},
    };
    for (const auto& c : cases) {
        if (c.value)
            setenv(kUpdateUrlVariable, c.value, 1);
        else
            unsetenv(kUpdateUrlVariable);
        EXPECT_EQ(UpdateServiceBaseUrl(), c.base) << (c.value ? c.value : "(unset)");
    }
    unsetenv(kUpdateUrlVariable);
}

} // namespace
