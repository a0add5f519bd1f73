#include "services/system_report.h"

#include "platform/registry.h"

#include "testenv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using reg::Root;

namespace {

using testenv::Write;

TEST(SystemReportTest, SystemDescription) {
    struct Case {
        const char* sysname;
        const char* release;
        std::string osRelease, text;
    } cases[] = {
        {"Linux", "6.1.0-13-amd64",
         "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
         "Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))"},
        {"Linux", "6.5.0", "NAME='Some OS'\nVERSION=\"7 \\\"Q\\\"\"\n",
         "Linux 6.5.0 (Some OS 7 \"Q\")"},
        {"Linux", "6.5.0", "NAME=Bare\n", "Linux 6.5.0 (Bare)"},
        {"Linux", "6.5.0", "", "Linux 6.5.0"},
        {"Linux", "unusual", "PRETTY_NAME=\"X\tY\"", "Linux (X Y)"},
        {"", "", "", "Unknown"},
        {"", "", "garbage\n\x01\x02", "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemDescriptionText(c.sysname, c.release, c.osRelease), c.text) << c.release;

    EXPECT_NE(WindowsVersionText(), "Unknown");
}

TEST(SystemReportTest, SimpleProbes) {
    EXPECT_EQ(YesNoText(true), "Yes");
    EXPECT_EQ(YesNoText(false), "No");
    EXPECT_FALSE(IsPreVista());
    EXPECT_EQ(RunsAsAdministrator(), geteuid() == 0);
}

class UninstallTest : public ::testing::Test {
  protected:
    // One machine entry in its own file.
    void Machine(const std::string& file, const std::string& key, const std::string& values) {
        Write(root_ + "/machine/" + file,
              "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + key + "]\n" + values + "\n");
    }
    testenv::TempHome env_{"uninstall"};
    std::string root_ = env_.Root();
};

TEST_F(UninstallTest, EntriesComeFromTheUserThenTheMachineThenIts32BitView) {
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, std::string(kUninstallKey) + "UserApp",
                                 "DisplayName", "User App"));
    ASSERT_TRUE(reg::CreateKey(Root::CurrentUser, std::string(kUninstallKey) + "NoName"));
    Machine("a.reg", std::string(kUninstallKey) + "zeta", "\"DisplayName\"=\"Zeta Tool 2.0\"");
    Machine("b.reg", std::string(kUninstallKey) + "{GUID-1}",
            "\"DisplayName\"=hex(2):4e,6f,72,77,69,63,6b,00");
    Machine("c.reg", std::string(kUninstallKey) + "Alpha", "\"DisplayName\"=dword:00000001");
    Machine("d.reg", std::string(kUninstallKey32) + "Old32", "\"DisplayName\"=\"Old 32\"");

    std::vector<std::string> names = {"left over"};
    ListUninstallEntries(names);
    EXPECT_EQ(names, (std::vector<std::string>{"NoName", "User App", "Alpha", "Zeta Tool 2.0",
                                               "{GUID-1}", "Old 32"}));
}

TEST_F(UninstallTest, InstalledMeansAnEntryBeginsWithTheName) {
    struct Case {
        const char* what;
        std::string subKey, values;
        bool installed;
    } cases[] = {
        {"display name in capitals with a version", "{1}",
         "\"DisplayName\"=\"NORWICK SOFTWORKS HUELET 1.2\"", true},
        {"exact display name", "x", "\"DisplayName\"=\"Norwick Softworks Huelet\"", true},
        {"name later in the text", "{2}", "\"DisplayName\"=\"Setup of Norwick Softworks Huelet\"",
         false},
        {"sub-key name without DisplayName", "Norwick Softworks Huelet", "\"Other\"=\"x\"", true},
        {"expandable DisplayName stays invisible", "{3}",
         "\"DisplayName\"=hex(2):4e,6f,72,77,69,63,6b,20,53,6f,66,74,77,6f,72,6b,73,20,48,75,65,"
         "6c,65,74,00",
         false},
        {"expandable DisplayName, sub-key named after the program", "Norwick Softworks Huelet",
         "\"DisplayName\"=hex(2):41,00", true},
        {"shorter name", "{4}", "\"DisplayName\"=\"Norwick Softworks\"", false},
        {"only in the 32-bit view", "", "", true},
        {"nothing", "", "", false},
    };
    for (const auto& c : cases) {
        fs::remove_all(root_ + "/machine");
        fs::create_directories(root_ + "/machine");
        if (!c.subKey.empty())
            Machine("entry.reg", std::string(kUninstallKey) + c.subKey, c.values);
        else if (c.installed)
            Machine("entry.reg", std::string(kUninstallKey32) + "{5}",
                    "\"DisplayName\"=\"Norwick Softworks Huelet\"");
        EXPECT_EQ(IsProgramInstalled(kProgramDisplayName), c.installed) << c.what;
    }

    // The current user's entries count too.
    ASSERT_TRUE(reg::WriteString(Root::CurrentUser, std::string(kUninstallKey) + "u", "DisplayName",
                                 "norwick softworks huelet"));
    EXPECT_TRUE(IsProgramInstalled(kProgramDisplayName));
}

} // namespace
