// The window's side of the update check, against a stand-in service on 127.0.0.1.
#include "huelet_config.h"
#include "identity/U_TallyFct.h"
#include "platform/shell.h"
#include "services/U_Log.h"
#include "ui/U_MainDlg.h"
#include "ui/application.h"
#include "update/U_Tally_Lite.h"
#include "update/stand_in_service.h"

#include <QAction>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every window of this program starts the quiet check: it goes to a refused local port unless a
// test points it at its own stand-in, and never to a name lookup.
constexpr const char* kNowhere = "http://127.0.0.1:9";
const bool kCheckStaysLocal = [] {
    setenv(kUpdateUrlVariable, kNowhere, 1);
    return true;
}();

const std::string kQuestion =
    "A new version of Huelet is available. Do you want to download update now ?";
const std::string kUpToDate = "Huelet is already up to date.";

class UpdateCheckTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        const std::string root = home.path().toStdString();
        for (const auto& [name, sub] : {std::pair{"HOME", ""},
                                        {"XDG_CONFIG_HOME", "/config"},
                                        {"XDG_DATA_HOME", "/data"},
                                        {"XDG_STATE_HOME", "/state"},
                                        {"XDG_CACHE_HOME", "/cache"}}) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, (root + sub).c_str(), 1);
        }
        SetMessageBoxHandlerForTests([this](const TMessageBoxRequest& Request) {
            boxes.push_back(Request);
            return Request.ButtonCodes.size() > 1 ? answer : Request.ButtonCodes.front();
        });
        SetShellLauncherForTests([this](const std::string& Target) {
            opened.push_back(Target);
            return true;
        });
    }

    void TearDown() override {
        dlg.reset();
        SetMessageBoxHandlerForTests(nullptr);
        SetShellLauncherForTests(nullptr);
        setenv(kUpdateUrlVariable, kNowhere, 1);
        for (const auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    // The window after its first activation, pointed at Base; waits for the quiet check.
    void Activate(const std::string& Base, bool Wait = true) {
        setenv(kUpdateUrlVariable, Base.c_str(), 1);
        dlg = std::make_unique<TMainDlg>();
        dlg->AppEvtActivate();
        ASSERT_NE(dlg->update_checker, nullptr);
        EXPECT_TRUE(dlg->silent_check);
        EXPECT_FALSE(dlg->Checkforupdate1->isEnabled());
        if (Wait)
            WaitForCheck();
    }

    void WaitForCheck() {
        ASSERT_TRUE(SpinUntil([this] { return dlg->Checkforupdate1->isEnabled(); }));
        EXPECT_FALSE(dlg->update_checker->Busy());
        EXPECT_FALSE(dlg->silent_check);
    }

    bool Logged(const std::string& Message) const {
        const auto& lines = dlg->log->Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& Line) {
            return Line.size() >= Message.size() &&
                   Line.compare(Line.size() - Message.size(), Message.size(), Message) == 0;
        });
    }

    QTemporaryDir home;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    std::unique_ptr<TMainDlg> dlg;
    std::vector<TMessageBoxRequest> boxes;
    std::vector<std::string> opened;
    int answer = kIdNo;
};

TEST_F(UpdateCheckTest, NewerVersionAskedEvenAfterTheQuietCheck) {
    std::string site = HUELET_WEB_SITE;
    if (site.empty() || site.back() != '/')
        site += '/';
    for (const int reply : {kIdYes, kIdNo}) {
        SCOPED_TRACE(reply == kIdYes ? "Yes" : "No");
        boxes.clear();
        opened.clear();
        answer = reply;
        StandInService service("99.0.0.0");
        Activate(service.Base());
        ASSERT_EQ(service.request_lines.size(), 1u);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Text, kQuestion);
        EXPECT_EQ(boxes[0].Caption, "Question");
        EXPECT_EQ(boxes[0].ButtonCodes, (std::vector<int>{kIdYes, kIdNo}));
        EXPECT_TRUE(Logged("Check for update"));
        EXPECT_TRUE(Logged("Self update check..."));
        EXPECT_TRUE(Logged("New version of Huelet is detected"));
        if (reply == kIdYes)
            EXPECT_EQ(opened, std::vector<std::string>{site + "?download"});
        else
            EXPECT_TRUE(opened.empty());
    }
}

TEST_F(UpdateCheckTest, UpToDateShownOnlyAfterAManualCheck) {
    // The running test program carries the program's version block.
    const std::string running = DisplayedVersionText(ExecutablePath(), "", "");
    ASSERT_EQ(running, HUELET_VERSION);
    StandInService service(running);
    Activate(service.Base());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(Logged(kUpToDate));
    ASSERT_EQ(service.request_lines.size(), 1u);
    EXPECT_EQ(service.request_lines[0],
              "GET "
              "/tally/check.php?uid=0&ProductName=Huelet&Company=Norwick%20Softworks&"
              "VH=65546&VL=262167 HTTP/1.1");

    // An older version is up to date as well.
    service.body = "1.0.0.0";
    dlg->Checkforupdate1->trigger();
    EXPECT_FALSE(dlg->Checkforupdate1->isEnabled());
    WaitForCheck();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, kUpToDate);
    EXPECT_EQ(boxes[0].ButtonCodes, std::vector<int>{kIdOk});
    EXPECT_EQ(boxes[0].Icon, TMessageIcon::None);
    EXPECT_TRUE(opened.empty());
}

TEST_F(UpdateCheckTest, NothingShownWithoutAVersion) {
    quint16 port = 0;
    {
        StandInService closed;
        port = closed.serverPort();
    }
    const struct {
        const char* what;
        std::string base; // empty: a service answering body
        std::string body;
    } cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(port), ""},
        {"empty body", "", ""},
        {"not a version", "", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandInService service(c.body);
        Activate(c.base.empty() ? service.Base() : c.base);
        dlg->Checkforupdate1->trigger(); // a manual check shows nothing either
        WaitForCheck();
        EXPECT_TRUE(boxes.empty());
        EXPECT_TRUE(dlg->Checkforupdate1->isEnabled());
        EXPECT_FALSE(Logged(kUpToDate));
    }
}

TEST_F(UpdateCheckTest, QuickClicksStartOneCheck) {
    StandInService service(HUELET_VERSION);
    Activate(service.Base());
    ASSERT_EQ(service.request_lines.size(), 1u);
    dlg->Checkforupdate1->trigger();
    dlg->Checkforupdate1->trigger();
    dlg->Checkforupdate1Click();
    WaitForCheck();
    EXPECT_EQ(service.request_lines.size(), 2u);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(UpdateCheckTest, WindowClosedDuringACheck) {
    StandInService silent("", 200, false);
    Activate(silent.Base(), false);
    ASSERT_TRUE(SpinUntil([&] { return !silent.request_lines.empty(); }));
    dlg.reset();
    ASSERT_TRUE(SpinUntil([&] { return silent.disconnects > 0; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.empty());
}

} // namespace
