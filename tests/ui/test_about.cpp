// About box, its text storage, and the web pages of the menu.
#include "huelet_config.h"
#include "ui/C_TextStorage.h"
#include "ui/U_about.h"
#include "ui_fixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

TEST(TextStorage, LooksUpByDesignedTextWhateverTheItemsBecome) {
    TTextStorage ts({"About", "Application Name :", "Version :"});
    EXPECT_EQ(ts.LookupText("Version :"), "Version :");
    EXPECT_EQ(ts.LookupText("not a key"), "not a key");
    ts.SetItems({"A propos", "Nom de l'application :", "unused"});
    EXPECT_EQ(ts.LookupText("application name :"), "Nom de l'application :"); // case ignored
    EXPECT_EQ(ts.LookupText("Version :"), "Version :");                       // "unused"
    ts.SetItems({"Only one"});
    EXPECT_EQ(ts.LookupText("Version :"), "Version :"); // missing item: the default
}

TEST_F(UiTest, AboutBoxShowsNameAndVersionAndOpensTheMakersPages) {
    TAboutDlg about;
    about.FillTexts();
    EXPECT_EQ(about.windowTitle(), "About Huelet");
    EXPECT_EQ(about.appname_lbl->text(), "Application Name : Huelet");
    EXPECT_TRUE(about.version_lbl->text().startsWith("Version : "));
    EXPECT_EQ(about.size(), QSize(389, 285));
    EXPECT_EQ(about.Image1->size(), QSize(388, 96));

    about.TS_about.SetItems({"About", "Programme :", "unused"});
    about.FillTexts();
    EXPECT_EQ(about.appname_lbl->text(), "Programme : Huelet");
    EXPECT_TRUE(about.version_lbl->text().startsWith("Version : "));

    about.email_btn->click();
    about.web_btn->click();
    about.forum_btn->click();
    std::string site = HUELET_WEB_SITE;
    while (!site.empty() && site.back() == '/')
        site.pop_back();
    ASSERT_EQ(launched.size(), 3u);
    EXPECT_EQ(launched[0].rfind("mailto:", 0), 0u);
    EXPECT_EQ(launched[0].find("mailto:", 1), std::string::npos);
    EXPECT_EQ(launched[1], site + "/");
    EXPECT_EQ(launched[2], site + "/forum");
    EXPECT_FALSE(about.isVisible());
}

TEST_F(UiTest, MenuOpensTheWebPagesAndTheLog) {
    TMainDlg& w = NewWindow();
    w.ChangeLog1->trigger();
    w.BugreportFeaturerequestKnownissues1->trigger();
    std::string site = HUELET_WEB_SITE;
    while (!site.empty() && site.back() == '/')
        site.pop_back();
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[0], site + "/bugs/changelog_page.php?project_id=13");
    EXPECT_EQ(launched[1], site + "/bugs/view_all_bug_page.php?project_id=13");

    w.Openlogfile1->trigger();
    ASSERT_EQ(launched.size(), 3u);
    EXPECT_EQ(launched[2], w.log->FileName());
    EXPECT_TRUE(std::filesystem::exists(w.log->FileName()));
}
