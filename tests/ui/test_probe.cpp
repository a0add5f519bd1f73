// Pointer probe and Central Color pick, through real mouse events on the views.
#include "ui/image32.h"
#include "ui_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <array>

namespace {

// Every pixel tells its own coordinates.
TColor32 CoordinateColor(int x, int y) {
    return 0xFF000000u | (static_cast<TColor32>(x & 255) << 16) |
           (static_cast<TColor32>(y & 255) << 8) | static_cast<TColor32>((x >> 8) * 16 + (y >> 8));
}

void Send(QWidget* view, QEvent::Type type, int x, int y, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    const QPointF p(x, y);
    QMouseEvent event(type, p, view->mapToGlobal(p), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
}

void Move(QWidget* view, int x, int y, Qt::MouseButtons held = Qt::NoButton) {
    Send(view, QEvent::MouseMove, x, y, Qt::NoButton, held);
}

std::array<int, 3> Shown(const TMainDlg& w) {
    return {w.r_txt->text().toInt(), w.g_txt->text().toInt(), w.b_txt->text().toInt()};
}

std::array<int, 3> Expected(int px, int py) {
    const TColor32 c = CoordinateColor(px, py);
    return {static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)), static_cast<int>(BlueOf(c))};
}

} // namespace

struct ProbeCase {
    int width, height; // the picture
    int x, y;          // pointer in the right view
    int px, py;        // expected source pixel; -1 when nothing may change
};

class Probe : public UiTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, MapsTheViewPointToThePicture) {
    const ProbeCase c = GetParam();
    TMainDlg& w = NewWindow();
    const std::string path = root + "/coords.jpg";
    WriteBmp(path, c.width, c.height, CoordinateColor);
    w.OpenPicture(path);
    ASSERT_EQ(w.pic_w, c.width);

    w.r_txt->setText("7");
    w.g_txt->setText("7");
    w.b_txt->setText("7");
    Move(w.orgimg, c.x, c.y);
    if (c.px < 0)
        EXPECT_EQ(Shown(w), (std::array<int, 3>{7, 7, 7}));
    else
        EXPECT_EQ(Shown(w), Expected(c.px, c.py));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Probe,
    ::testing::Values(ProbeCase{300, 600, 149, 0, 298, 0},     // displayed 150 x 300
                      ProbeCase{300, 600, 150, 0, -1, -1},     // right of the picture
                      ProbeCase{300, 600, 149, 299, 298, 598}, //
                      ProbeCase{800, 600, 399, 299, 798, 598}, // displayed 400 x 300
                      ProbeCase{800, 600, 0, 0, 0, 0},         //
                      ProbeCase{800, 600, 400, 10, -1, -1},    // beyond the view
                      ProbeCase{1000, 500, 10, 200, -1, -1},   // below a 400 x 200 picture
                      ProbeCase{1000, 500, 399, 199, 997, 497}));

TEST_F(UiTest, ProbeSamplesThePictureUnderEitherViewAndShowsDistances) {
    TMainDlg& w = NewWindow();
    const std::string path = root + "/coords.jpg";
    WriteBmp(path, 800, 600, CoordinateColor);
    w.OpenPicture(path);
    w.showmask_btn->click();
    w.rbase_txt->setText("100");
    w.gbase_txt->setText("");
    w.bbase_txt->setText("3");

    Move(w.img, 50, 20); // the left view shows the mask; the probe still reads the picture
    EXPECT_EQ(Shown(w), Expected(100, 40));
    EXPECT_EQ(w.diffr_lbl->text(), "0");
    EXPECT_EQ(w.diffg_lbl->text(), "40"); // an empty field reads 0
    EXPECT_EQ(w.diffb_lbl->text(), "3");
}

TEST_F(UiTest, DraggingOutOfTheViewUpdatesNothing) {
    TMainDlg& w = NewWindow();
    const std::string path = root + "/coords.jpg";
    WriteBmp(path, 800, 600, CoordinateColor);
    w.OpenPicture(path);
    Send(w.orgimg, QEvent::MouseButtonPress, 10, 10, Qt::LeftButton, Qt::LeftButton);
    w.r_txt->setText("7");
    Move(w.orgimg, -5, 10, Qt::LeftButton);
    Move(w.orgimg, 10, -1, Qt::LeftButton);
    EXPECT_EQ(w.r_txt->text(), "7");
    Send(w.orgimg, QEvent::MouseButtonRelease, -5, 10, Qt::LeftButton, Qt::NoButton);
}

TEST_F(UiTest, AnyButtonPicksTheLastShownColourAndRenders) {
    TMainDlg& w = NewWindow();
    const std::string path = root + "/coords.jpg";
    WriteBmp(path, 800, 600, CoordinateColor);
    w.OpenPicture(path);
    Move(w.orgimg, 30, 40);
    const int before = Renders(w);

    // The press position itself is not sampled: the last move's colour becomes the CC.
    Send(w.orgimg, QEvent::MouseButtonPress, 200, 100, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(w.rbase_txt->text(), w.r_txt->text());
    EXPECT_EQ(w.gbase_txt->text(), w.g_txt->text());
    EXPECT_EQ(w.bbase_txt->text(), w.b_txt->text());
    EXPECT_EQ(w.rbase_txt->text().toInt(), Expected(60, 80)[0]);
    EXPECT_EQ(Renders(w), before + 1);

    Send(w.img, QEvent::MouseButtonPress, 5, 5, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(Renders(w), before + 2);
}

TEST_F(UiTest, BeforeAnyPictureTheProbeUpdatesNothing) {
    TMainDlg& w = NewWindow();
    Move(w.orgimg, 10, 10);
    Move(w.img, 0, 0);
    EXPECT_EQ(Shown(w), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(w.diffr_lbl->text(), "0");
}

TEST_F(UiTest, ViewDrawsTheFittedPictureWithNearestNeighbours) {
    TImage32 view;
    view.resize(400, 300);
    view.Bitmap().Resize(300, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 300; ++x)
            view.Bitmap().SetPixelAt(x, y, CoordinateColor(x, y) & 0x00FFFFFFu); // alpha 0
    view.Changed();
    const QImage shown = view.DisplayedImage();
    ASSERT_EQ(shown.size(), QSize(150, 300));
    EXPECT_EQ(shown.pixel(149, 299), CoordinateColor(298, 598)); // drawn opaque
    EXPECT_EQ(shown.pixel(1, 1), CoordinateColor(2, 2));
}
