#include "platform/shell.h"

#include "testenv.h"
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testenv::ReadAll;

// Restores an environment variable when it goes out of scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

  private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(ExpandEnvironmentTextTest, ReplacesSetVariablesAndKeepsTheRest) {
    ScopedEnv one("HUELET_T1", "one");
    ScopedEnv empty("HUELET_EMPTY", "");
    ScopedEnv none("HUELET_NONE", std::nullopt);
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"$HUELET_T1/x.log", "one/x.log"},
        {"${HUELET_T1}x", "onex"},
        {"$HUELET_T1x", "$HUELET_T1x"},
        {"$HUELET_NONE/a", "$HUELET_NONE/a"},
        {"${HUELET_NONE}", "${HUELET_NONE}"},
        {"[$HUELET_EMPTY]", "[]"},
        {"a$", "a$"},
        {"$1 and $$", "$1 and $$"},
        {"${", "${"},
        {"${HUELET_T1", "${HUELET_T1"},
        {"${bad name}", "${bad name}"},
        {"100$ and ${HUELET_T1}", "100$ and one"},
        {"/plain/path with spaces", "/plain/path with spaces"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandEnvironmentText(c.text), c.expected) << c.text;
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "empty-bin");
        fs::create_directories(dir_ / "work");
    }
    void TearDown() override {
        SetShellLauncherForTests(nullptr);
        SetMessageBoxHandlerForTests(nullptr);
    }

    // A stand-in opener that records its working folder and arguments, then renames the record
    // into place so a reader never sees half of it.
    void InstallFakeOpener() {
        const fs::path script = dir_ / "bin" / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                              << "pwd > '" << (dir_ / "record.tmp").string() << "'\n"
                              << "printf '%s\\n' \"$@\" >> '" << (dir_ / "record.tmp").string()
                              << "'\n"
                              << "/bin/mv '" << (dir_ / "record.tmp").string() << "' '"
                              << (dir_ / "record").string() << "'\n";
        chmod(script.c_str(), 0755);
    }

    // The opener runs detached, so wait for its record; the cap only guards a broken run.
    std::string WaitForRecord() {
        const fs::path record = dir_ / "record";
        for (int i = 0; i < 3000 && !fs::exists(record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string text = ReadAll(record);
        fs::remove(record);
        return text;
    }

    testenv::TempDir temp_{"shell"};
    fs::path dir_ = temp_.Root();
};

TEST_F(ShellTest, LaunchesTheOpenerOnPathDetachedWithTheTarget) {
    InstallFakeOpener();
    ScopedEnv path("PATH", (dir_ / "bin").string());
    ScopedEnv logs("HUELET_LOGS", (dir_ / "logs").string());
    const std::string work = (dir_ / "work").string();
    struct Case {
        bool ex;
        std::string target, directory, expected_record;
    } cases[] = {
        {false, "https://example.invalid/bugs/a b?x=1&y=2", "",
         fs::current_path().string() + "\nhttps://example.invalid/bugs/a b?x=1&y=2\n"},
        {false, "mailto:someone@example.invalid", work,
         work + "\nmailto:someone@example.invalid\n"},
        {false, "-rf", "", fs::current_path().string() + "\n./-rf\n"},
        {false, "/tmp/caf\xe9 \xff.log", "",
         fs::current_path().string() + "\n/tmp/caf\xe9 \xff.log\n"},
        {true, "${HUELET_LOGS}/Huelet.log", "",
         fs::current_path().string() + "\n" + (dir_ / "logs").string() + "/Huelet.log\n"},
    };
    for (const Case& c : cases) {
        const bool started = c.ex
                                 ? ShellOpenEx(c.target, "", "", kSwShowNormal)
                                 : ShellOpen(nullptr, "", c.target, "", c.directory, kSwShowNormal);
        ASSERT_TRUE(started) << c.target;
        EXPECT_EQ(WaitForRecord(), c.expected_record) << c.target;
        // Nothing is left behind to reap: the opener is not our child.
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.target;
        EXPECT_EQ(errno, ECHILD) << c.target;
    }
}

TEST_F(ShellTest, ReportsFailureWhenNothingCanBeStarted) {
    InstallFakeOpener();
    {
        ScopedEnv path("PATH", (dir_ / "empty-bin").string());
        EXPECT_FALSE(ShellOpen(nullptr, "", "https://example.invalid/", "", "", kSwShowNormal));
        EXPECT_FALSE(ShellOpenEx("/tmp/x.log", "", "", kSwShowNormal));
    }
    ScopedEnv path("PATH", (dir_ / "bin").string());
    EXPECT_FALSE(ShellOpen(nullptr, "", "", "", "", kSwShowNormal));
    EXPECT_FALSE(
        ShellOpen(nullptr, "", "https://example.invalid/", "", (dir_ / "missing").string(), 1));
    EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ShellTest, LauncherSeamReceivesTheTargetAndAnswersForTheShell) {
    ScopedEnv logs("HUELET_LOGS", "/var/logs");
    std::vector<std::string> targets;
    bool answer = false;
    SetShellLauncherForTests([&](const std::string& target) {
        targets.push_back(target);
        return answer;
    });
    EXPECT_FALSE(ShellOpen(nullptr, "", "https://example.invalid/$HUELET_LOGS", "", "", 1));
    answer = true;
    EXPECT_TRUE(ShellOpenEx("$HUELET_LOGS/Huelet.log", "", "", kSwShowNormal));
    // Only the Ex form expands variables.
    EXPECT_EQ(targets, (std::vector<std::string>{"https://example.invalid/$HUELET_LOGS",
                                                 "/var/logs/Huelet.log"}));
}

TEST(MessageBoxRequestTest, ButtonsAndKindChooseButtonsCaptionAndIcon) {
    struct ButtonCase {
        int buttons;
        std::vector<int> codes;
    } button_cases[] = {
        {kMbOk, {kIdOk}},
        {kMbYesNo, {kIdYes, kIdNo}},
        {kMbYesNoCancel, {kIdYes, kIdNo, kIdCancel}},
        {kMbOkCancel, {kIdOk, kIdCancel}},
        {9, {kIdOk}},
        {-1, {kIdOk}},
    };
    for (const ButtonCase& c : button_cases)
        EXPECT_EQ(MessageBoxRequest(nullptr, "t", c.buttons, 0).ButtonCodes, c.codes) << c.buttons;

    struct KindCase {
        int kind;
        const char* caption;
        TMessageIcon icon;
    } kind_cases[] = {
        {kMbKindMessage, "Message", TMessageIcon::None},
        {kMbKindWarning, "Warning", TMessageIcon::Warning},
        {kMbKindError, "Error", TMessageIcon::Error},
        {kMbKindQuestion, "Question", TMessageIcon::Question},
        {kMbKindInformation, "Information", TMessageIcon::Information},
        {5, "", TMessageIcon::None},
        {-1, "", TMessageIcon::None},
    };
    for (const KindCase& c : kind_cases) {
        const TMessageBoxRequest request = MessageBoxRequest(nullptr, "t", 0, c.kind);
        EXPECT_EQ(request.Caption, c.caption) << c.kind;
        EXPECT_EQ(request.Icon, c.icon) << c.kind;
    }
}

TEST_F(ShellTest, MessageBoxHandlerAnswersAskYesNo) {
    std::vector<TMessageBoxRequest> asked;
    int answer = kIdYes;
    SetMessageBoxHandlerForTests([&](const TMessageBoxRequest& request) {
        asked.push_back(request);
        return answer;
    });
    QWidget owner;
    EXPECT_EQ(AskYesNo(&owner, "Download now ?"), kIdYes);
    answer = kIdNo;
    EXPECT_EQ(AskYesNo(nullptr, "Again ?"), kIdNo);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].Window, &owner);
    EXPECT_EQ(asked[0].Text, "Download now ?");
    EXPECT_EQ(asked[0].Caption, "Question");
    EXPECT_EQ(asked[0].Icon, TMessageIcon::Question);
    EXPECT_EQ(asked[0].ButtonCodes, (std::vector<int>{kIdYes, kIdNo}));
}

// What the real box looked like when it was answered.
struct SeenBox {
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    QList<QMessageBox::StandardButton> buttons;
};

// Once the box is up, records it and presses the given button.
void PressWhenShown(QMessageBox::StandardButton press, SeenBox& seen) {
    QTimer::singleShot(0, [press, &seen] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.detail = box->detailedText();
            seen.icon = box->icon();
            seen.format = box->textFormat();
            for (QAbstractButton* button : box->buttons())
                seen.buttons.push_back(box->standardButton(button));
            if (QAbstractButton* button = box->button(press))
                button->click();
            else
                box->reject();
        }
    });
}

TEST_F(ShellTest, RealBoxShowsTheRequestedButtonsAndReturnsTheirCodes) {
    SeenBox seen;
    PressWhenShown(QMessageBox::Yes, seen);
    EXPECT_EQ(AskYesNo(nullptr, "A new version is available <b>now</b> ?"), kIdYes);
    EXPECT_EQ(seen.title, "Question");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "A new version is available <b>now</b> ?");
    EXPECT_EQ(seen.format, Qt::PlainText);
    std::sort(seen.buttons.begin(), seen.buttons.end());
    EXPECT_EQ(seen.buttons,
              (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));

    SeenBox error;
    PressWhenShown(QMessageBox::Cancel, error);
    EXPECT_EQ(ShowMessageBox(nullptr, "caf\xc3\xa9", kMbOkCancel, kMbKindError, "the <why>"),
              kIdCancel);
    EXPECT_EQ(error.title, "Error");
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_EQ(error.text, QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(error.detail, "the <why>");
    EXPECT_EQ(seen.detail, "") << "no detail unless given";

    SeenBox no;
    PressWhenShown(QMessageBox::No, no);
    EXPECT_EQ(ShowMessageBox(nullptr, "?", kMbYesNoCancel, kMbKindWarning), kIdNo);
    EXPECT_EQ(no.buttons.size(), 3);
}

} // namespace
