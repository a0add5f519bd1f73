// Start-up, Render, presets, display buttons and Filter of the main window.
#include "ui/image32.h"
#include "ui_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace {

std::string Message(const std::string& line) {
    return line.substr(line.find('\t', line.find('\t') + 1) + 1);
}

} // namespace

TEST_F(UiTest, StartUpReportsInOrderAndSetsTheDefaults) {
    SetCommandLineArguments({"/some where/pic one.jpg", "second"});
    TMainDlg& w = NewWindow();
    SetCommandLineArguments({});

    const auto& lines = w.log->Lines(); // newest first
    std::vector<std::string> messages;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        messages.push_back(Message(*it));
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[0], "Starting");
    EXPECT_EQ(messages[1], ExecutablePath());
    EXPECT_EQ(messages[2], w.windowTitle().toStdString());
    EXPECT_EQ(w.windowTitle().left(8), "Huelet v");
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "/some where/pic one.jpg"), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "second"), 0);
    EXPECT_EQ(w.log->FileName(), DataFolder() + "Huelet.log");

    for (QSlider* s : {w.dist_r, w.dist_g, w.dist_b})
        EXPECT_EQ(s->value(), 40);
    EXPECT_EQ(w.distr_lbl->text(), "40");
    EXPECT_EQ(w.distb_lbl->text(), "40");
    EXPECT_EQ(w.diffr_lbl->text(), "0");
    EXPECT_EQ(w.diffb_lbl->text(), "0");
    EXPECT_EQ(w.r_txt->text(), "0");
    EXPECT_EQ(w.rbase_txt->text(), "");
    EXPECT_FALSE(w.save_btn->isEnabled());
    EXPECT_EQ(Renders(w), 0);
    EXPECT_TRUE(w.img->Bitmap().Empty());
    EXPECT_EQ(w.centralWidget()->size(), QSize(825, 660));
    EXPECT_FALSE(w.WOD.KeepHistory) << "run from the build folder, so portable";
}

TEST_F(UiTest, ClosingLogsAndDestroyingStopsDrops) {
    TMainDlg& w = NewWindow();
    w.FormClose();
    EXPECT_EQ(Count(w, "Closing Huelet"), 1);
    // Files that exist are not written by closing: the log file appears only when opened.
    EXPECT_FALSE(std::filesystem::exists(w.log->FileName()));
}

struct LoadCase {
    int r, g, b;
    int renders;
};

class LoadRenders : public UiTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadRenders, OneRenderPerChangedTrackbarPlusTheFinalOne) {
    const LoadCase c = GetParam();
    TMainDlg& w = NewWindow();
    w.dist_r->setValue(c.r);
    w.dist_g->setValue(c.g);
    w.dist_b->setValue(c.b);
    w.showmask_btn->click(); // loading must end showing the result anyway
    dialog_answers.push_back(MakeJpeg("in.jpg"));
    w.load_btn->click();

    EXPECT_EQ(Renders(w), c.renders);
    EXPECT_EQ(Count(w, "Loading : " + root + "/in.jpg"), 1);
    EXPECT_FALSE(w.show_mask);
    ASSERT_TRUE(w.result_bmp);
    EXPECT_EQ(w.img->Bitmap(), *w.result_bmp);
    EXPECT_FALSE(w.img->isHidden());
    EXPECT_FALSE(w.orgimg->isHidden());
    EXPECT_TRUE(w.save_btn->isEnabled());
    EXPECT_EQ(w.pb->value(), 0);
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Thresholds, LoadRenders,
                         ::testing::Values(LoadCase{40, 40, 40, 1}, LoadCase{10, 40, 40, 2},
                                           LoadCase{40, 40, 41, 2}, LoadCase{10, 20, 30, 4}));

struct PresetCase {
    int r, g, b;
    const char* button;
    int renders;
    int value;
};

class Presets : public UiTest, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(Presets, RenderAtMostOnceThroughTheBlueTrackbar) {
    const PresetCase c = GetParam();
    TMainDlg& w = NewWindow();
    dialog_answers.push_back(MakeJpeg("in.jpg"));
    w.load_btn->click();
    w.dist_r->setValue(c.r);
    w.dist_g->setValue(c.g);
    w.dist_b->setValue(c.b);
    const int before = Renders(w);

    const std::string name = c.button;
    QPushButton* button = name == "Narrow"   ? w.narrow_btn
                          : name == "Medium" ? w.medium_btn
                          : name == "Large"  ? w.large_btn
                                             : w.reset_btn;
    button->click();

    EXPECT_EQ(Renders(w) - before, c.renders);
    EXPECT_EQ(w.dist_r->value(), c.value);
    EXPECT_EQ(w.dist_g->value(), c.value);
    EXPECT_EQ(w.dist_b->value(), c.value);
    EXPECT_EQ(w.distr_lbl->text().toInt(), c.value);
    EXPECT_FALSE(w.render_lock);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, Presets,
    ::testing::Values(PresetCase{40, 40, 40, "Medium", 1, 30},
                      PresetCase{40, 40, 30, "Medium", 0, 30}, // blue already holds 30
                      PresetCase{30, 30, 30, "Medium", 0, 30}, // the second press
                      PresetCase{0, 0, 0, "Narrow", 1, 15}, PresetCase{60, 50, 40, "Large", 1, 50},
                      PresetCase{1, 2, 3, "Reset", 1, 255}));

TEST_F(UiTest, ResetSelectsEveryPixel) {
    TMainDlg& w = NewWindow();
    dialog_answers.push_back(MakeJpeg("in.jpg"));
    w.load_btn->click();
    w.reset_btn->click();
    EXPECT_EQ(*w.result_bmp, w.orgimg->Bitmap());
    for (int i = 0; i < w.mask_bmp->Width() * w.mask_bmp->Height(); ++i)
        ASSERT_EQ(w.mask_bmp->Bits()[i], kMaskWhite);
}

TEST_F(UiTest, UndecodablePictureIsReportedOnceAndClearsTheWork) {
    TMainDlg& w = NewWindow();
    w.dist_r->setValue(0); // loading then changes all three trackbars
    w.dist_g->setValue(0);
    w.dist_b->setValue(0);
    const std::string bad = root + "/bad.jpg";
    WriteText(bad, std::string(200, 'x'));
    dialog_answers.push_back(bad);
    w.load_btn->click();

    EXPECT_EQ(messages, std::vector<std::string>{"Unable to load file"});
    EXPECT_EQ(Count(w, "Unable to load file"), 1);
    EXPECT_EQ(Renders(w), 1);
    EXPECT_EQ(w.filename_txt->text(), "");
    EXPECT_EQ(w.work_path, "");
    EXPECT_TRUE(w.img->isHidden());
    EXPECT_TRUE(w.orgimg->isHidden());
    EXPECT_FALSE(w.save_btn->isEnabled());
    ASSERT_TRUE(w.mask_bmp);
    EXPECT_TRUE(w.mask_bmp->Empty());
    EXPECT_EQ(w.pb->value(), 0);

    // Filter after a failed load logs but changes nothing visible.
    w.filter_btn->click();
    EXPECT_EQ(Count(w, "Filtering..."), 1);
    EXPECT_TRUE(w.img->isHidden());
}

TEST_F(UiTest, RenderDoesNothingWithoutPictureOrWhileLocked) {
    TMainDlg& w = NewWindow();
    w.process_btn->click();
    w.filter_btn->click();
    EXPECT_EQ(Renders(w), 0);
    EXPECT_EQ(Count(w, "Filtering..."), 0);
    EXPECT_FALSE(w.mask_bmp);

    dialog_answers.push_back(MakeJpeg("in.jpg"));
    w.load_btn->click();
    const int before = Renders(w);
    w.render_lock = true;
    w.process_btn->click();
    EXPECT_EQ(Renders(w), before);
    w.render_lock = false;
    w.process_btn->click();
    EXPECT_EQ(Renders(w), before + 1);
}

TEST_F(UiTest, DisplayButtonsNeverRender) {
    TMainDlg& w = NewWindow();
    w.showmask_btn->click(); // before any render: the left view is emptied
    EXPECT_TRUE(w.img->Bitmap().Empty());
    EXPECT_TRUE(w.show_mask);
    EXPECT_EQ(Renders(w), 0);

    dialog_answers.push_back(MakeJpeg("in.jpg"));
    w.load_btn->click();
    const int before = Renders(w);
    w.showmask_btn->click();
    EXPECT_EQ(w.img->Bitmap(), *w.mask_bmp);
    w.showpic_btn->click();
    EXPECT_EQ(w.img->Bitmap(), *w.result_bmp);
    EXPECT_EQ(Renders(w), before);

    // Typing a Central Color renders nothing either; the next render uses it.
    w.rbase_txt->setText("200");
    EXPECT_EQ(Renders(w), before);
}

TEST_F(UiTest, FilterCleansTheMaskAndTheNextRenderRestoresIt) {
    TMainDlg& w = NewWindow();
    // A black field with one white speck: threshold 0 selects only the speck's colour.
    const std::string path = root + "/speck.jpg";
    WriteBmp(path, 9, 9, [](int x, int y) { return x == 4 && y == 4 ? 0xFF102030u : 0xFFFFFFFFu; });
    dialog_answers.push_back(path);
    w.load_btn->click();
    w.rbase_txt->setText("16");
    w.gbase_txt->setText("32");
    w.bbase_txt->setText("48");
    w.dist_r->setValue(0);
    w.dist_g->setValue(0);
    w.dist_b->setValue(0);
    ASSERT_EQ(w.mask_bmp->PixelAt(4, 4), kMaskWhite);
    const int renders = Renders(w);

    w.filter_btn->click();
    EXPECT_EQ(w.mask_bmp->PixelAt(4, 4), kMaskBlack);
    EXPECT_EQ(w.result_bmp->PixelAt(4, 4), GreyColor((16 + 32 + 48) / 3, 255));
    EXPECT_EQ(w.img->Bitmap(), *w.result_bmp);
    EXPECT_EQ(Renders(w), renders);

    w.dist_r->setValue(1);
    EXPECT_EQ(w.mask_bmp->PixelAt(4, 4), kMaskWhite);
}

TEST_F(UiTest, AnErrorEscapingAHandlerIsReportedAndTheProgramGoesOn) {
    struct Thrower : QObject {
        bool event(QEvent*) override { throw std::runtime_error("Disk on fire"); }
    } thrower;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &event));
    EXPECT_EQ(messages, std::vector<std::string>{"Disk on fire"});
}

// The first activation must not wait for an activation event: a message box shown while the
// window is built (a settings.ini import error) makes the application active before the window
// is shown, and no further event arrives.
TEST_F(UiTest, FirstActivationRunsOnceWhenTheApplicationIsAlreadyActive) {
    QWidget other;
    other.show();
    other.activateWindow();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    ASSERT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);

    TMainDlg w;
    w.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    ASSERT_NE(w.log, nullptr);
    EXPECT_EQ(w.windowTitle().left(8), "Huelet v");
    EXPECT_EQ(w.distr_lbl->text(), "40");

    // Switching away and back, or showing the window again, runs nothing more.
    other.activateWindow();
    w.hide();
    w.show();
    w.activateWindow();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(Count(w, "Starting"), 1);
    EXPECT_EQ(Count(w, "Check for update"), 1);
}
