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

// The export carries the loaded picture's metadata, and only markers: the pixels are the same.
TEST_F(Export, KeepsTheLoadedPicturesMetadata) {
    if (std::system("command -v exiftool >/dev/null && command -v djpeg >/dev/null") != 0)
        GTEST_SKIP() << "exiftool and djpeg are needed";
    const std::string in = MakeJpeg("photo.jpg");
    ASSERT_EQ(std::system(("exiftool -q -overwrite_original -Make=Norcam -Orientation#=6 "
                           "-XMP-dc:Creator=Ann -Comment=hello "
                           "'-ICC_Profile<=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc' '" +
                           in + "'")
                              .c_str()),
              0);
    TMainDlg& w = NewWindow();
    dialog_answers.push_back(in);
    w.load_btn->click();
    dialog_answers.push_back(root + "/out.jpg");
    w.save_btn->click();
    const std::string out = root + "/out.jpg";
    const std::string tags = "exiftool -n -s3 -Make -Orientation -Creator -Comment "
                             "-ProfileDescription '";
    const std::string listing = root + "/tags.txt";
    ASSERT_EQ(std::system((tags + out + "' > '" + listing + "'").c_str()), 0);
    EXPECT_EQ(ReadAll(listing), "Norcam\n6\nAnn\nhello\nCompatible with Adobe RGB (1998)\n");

    w.result_bmp->WriteJpegFile(root + "/plain.jpg");
    ASSERT_EQ(std::system(("djpeg -outfile '" + root + "/a.ppm' '" + out + "' && djpeg -outfile '" +
                           root + "/b.ppm' '" + root + "/plain.jpg'")
                              .c_str()),
              0);
    EXPECT_EQ(ReadAll(root + "/a.ppm"), ReadAll(root + "/b.ppm"));
}

// A damaged picture still renders; the log says what is wrong right after "Rendering...".
TEST_F(Export, ARenderOfADamagedPictureLogsTheWarning) {
    const std::string whole = MakeJpeg("whole.jpg", 320, 240);
    std::string bytes = ReadAll(whole);
    bytes.resize(bytes.size() * 4 / 10);
    WriteText(root + "/cut.jpg", bytes);
    TMainDlg& w = NewWindow();
    dialog_answers.push_back(root + "/cut.jpg");
    w.load_btn->click();
    ASSERT_TRUE(w.save_btn->isEnabled());
    // Newest first: the warning sits just above the last "Rendering...".
    const auto& lines = w.log->Lines();
    auto message = [](const std::string& line) {
        return line.substr(line.find('\t', line.find('\t') + 1) + 1);
    };
    size_t render = 0;
    while (render < lines.size() && message(lines[render]) != "Rendering...")
        ++render;
    ASSERT_GT(render, 0u);
    ASSERT_LT(render, lines.size());
    EXPECT_EQ(lines[render - 1].substr(0, 5), "Info\t");
    EXPECT_EQ(message(lines[render - 1]).rfind("Warning : Premature end of JPEG file", 0), 0u)
        << lines[render - 1];
    EXPECT_EQ(Count(w, "Unable to load file"), 0);
}
