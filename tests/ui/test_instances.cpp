// Two windows of one user at once: each keeps its own picture and its own files.
#include "ui/image32.h"
#include "ui_fixture.h"

#include <QPushButton>

TEST_F(UiTest, TwoWindowsNeverSeeEachOthersPicture) {
    TMainDlg& first = NewWindow();
    TMainDlg& second = NewWindow();
    const std::string red = root + "/red.bmp.jpg";
    const std::string blue = root + "/blue.bmp.jpg";
    WriteBmp(red, 4, 4, [](int, int) { return 0xFFC80000u; });
    WriteBmp(blue, 4, 4, [](int, int) { return 0xFF0000C8u; });

    first.OpenPicture(red);
    second.OpenPicture(blue);
    first.process_btn->click();

    EXPECT_EQ(first.orgimg->Bitmap().PixelAt(0, 0), 0xFFC80000u);
    EXPECT_EQ(second.orgimg->Bitmap().PixelAt(0, 0), 0xFF0000C8u);
    EXPECT_EQ(first.work_path, DataFolder() + "Huelet.jpg");
    EXPECT_EQ(second.work_path, DataFolder() + "Huelet-2.jpg");
    EXPECT_EQ(first.log->FileName(), DataFolder() + "Huelet.log");
    EXPECT_EQ(second.log->FileName(), DataFolder() + "Huelet-2.log");

    // The portable close of one leaves the other's working copy in place.
    second.FormClose();
    EXPECT_FALSE(std::filesystem::exists(DataFolder() + "Huelet-2.jpg"));
    first.process_btn->click();
    EXPECT_FALSE(first.orgimg->isHidden());
    EXPECT_EQ(first.orgimg->Bitmap().PixelAt(0, 0), 0xFFC80000u);
    EXPECT_TRUE(messages.empty());

    first.FormClose();
    EXPECT_FALSE(std::filesystem::exists(root + "/data/Norwick Softworks"));
}
