// Result export: the extension rule, what is written, and asking before replacing.
#include "ui_fixture.h"

#include <QPushButton>
#include <QSlider>

struct TargetCase {
    const char* chosen;
    const char* target;
};

class ExportName : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ExportName, AppendsJpgUnlessTheNameEndsInJpgOrJpeg) {
    EXPECT_EQ(TMainDlg::ExportTargetName(GetParam().chosen), GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(Names, ExportName,
                         ::testing::Values(TargetCase{"/t/out", "/t/out.jpg"},
                                           TargetCase{"/t/out.jpg", "/t/out.jpg"},
                                           TargetCase{"/t/out.jpeg", "/t/out.jpeg"},
                                           TargetCase{"/t/out.JPG", "/t/out.JPG.jpg"},
                                           TargetCase{"/t/out.png", "/t/out.png.jpg"},
                                           TargetCase{"/t/v1.2/out", "/t/v1.2/out.jpg"},
                                           TargetCase{"/t/out.", "/t/out..jpg"}));

class Export : public UiTest {
  protected:
    TMainDlg& Loaded() {
        TMainDlg& w = NewWindow();
        dialog_answers.push_back(MakeJpeg("in.jpg"));
        w.load_btn->click();
        w.dist_r->setValue(10); // a result that differs from both picture and mask
        return w;
    }
};

TEST_F(Export, WritesTheResultEvenWhileTheMaskIsShown) {
    TMainDlg& w = Loaded();
    w.showmask_btn->click();
    dialog_answers.push_back(root + "/out");
    w.save_btn->click();

    const std::string target = root + "/out.jpg";
    EXPECT_EQ(Count(w, "Exporting to : " + target), 1);
    const std::string temp = DataFolder() + "Huelet_save.jpg";
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(ReadAll(target), ReadAll(temp));
    w.result_bmp->WriteJpegFile(root + "/result.jpg");
    w.mask_bmp->WriteJpegFile(root + "/mask.jpg");
    EXPECT_EQ(ReadAll(target), ReadAll(root + "/result.jpg"));
    EXPECT_NE(ReadAll(target), ReadAll(root + "/mask.jpg"));
    EXPECT_TRUE(messages.empty());
    // The dialog offered the last confirmed name: the loaded picture.
    EXPECT_EQ(prefilled.back(), root + "/in.jpg");
}

TEST_F(Export, CancelWritesNothing) {
    TMainDlg& w = Loaded();
    w.save_btn->click();
    EXPECT_EQ(prefilled.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(DataFolder() + "Huelet_save.jpg"));
    for (const std::string& line : w.log->Lines())
        EXPECT_EQ(line.find("Exporting"), std::string::npos);
}

TEST_F(Export, AsksBeforeReplacingAnExistingFile) {
    TMainDlg& w = Loaded();
    const std::string original = root + "/in.jpg";
    const std::string before = ReadAll(original);

    answer_yes = false;
    dialog_answers.push_back(original); // the pre-filled name, confirmed unchanged
    w.save_btn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(original), std::string::npos);
    EXPECT_EQ(ReadAll(original), before);
    EXPECT_EQ(Count(w, "Exporting to : " + original), 0);

    answer_yes = true;
    dialog_answers.push_back(original);
    w.save_btn->click();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(ReadAll(original), ReadAll(DataFolder() + "Huelet_save.jpg"));
    EXPECT_NE(ReadAll(original), before);
}

TEST_F(Export, AFailedCopyIsReported) {
    TMainDlg& w = Loaded();
    const std::string target = root + "/no such folder/out.jpg";
    dialog_answers.push_back(target);
    w.save_btn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(target), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Export, AFailedJpegWriteGetsTheDefaultErrorReport) {
    TMainDlg& w = Loaded();
    std::filesystem::create_directory(DataFolder() + "Huelet_save.jpg"); // cannot be written
    dialog_answers.push_back(root + "/out.jpg");
    w.save_btn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].empty());
    EXPECT_FALSE(std::filesystem::exists(root + "/out.jpg"));
    // The window still works.
    w.process_btn->click();
    EXPECT_TRUE(w.save_btn->isEnabled());
}
