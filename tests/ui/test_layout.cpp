// The window's 8-point font (11 pixels) reaches every control, and the texts fit their places.
#include "ui/U_about.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

// The desktop's font stands in as a 9-point one, as on a common desktop, so a control that
// takes it instead of the window's shows.
class FontTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        saved_font_ = QApplication::font();
        QFont desktop(QStringLiteral("DejaVu Sans"));
        desktop.setPointSize(9);
        QApplication::setFont(desktop);
    }
    void TearDown() override {
        QApplication::setFont(saved_font_);
        UiTest::TearDown();
    }

    // Every control below Top except those in Own (which set a size of their own) has the
    // font of Top; returns the names of those that do not.
    static std::vector<std::string> ForeignFonts(const QWidget& Top,
                                                 const std::vector<const QWidget*>& Own = {}) {
        std::vector<std::string> foreign;
        const QFont expected = Top.font();
        for (const QWidget* w : Top.findChildren<QWidget*>()) {
            if (w->isWindow() || std::find(Own.begin(), Own.end(), w) != Own.end())
                continue;
            const QFont f = w->font();
            if (f.pixelSize() != expected.pixelSize() || f.pointSizeF() != expected.pointSizeF() ||
                f.family() != expected.family())
                foreign.push_back(std::string(w->metaObject()->className()) + " \"" +
                                  w->property("text").toString().toStdString() + "\" " +
                                  f.toString().toStdString());
        }
        return foreign;
    }

    // Pixels left beside a one-line text in a control of Width, on each side.
    static int SideRoom(const QWidget* W, const QString& Text) {
        return (W->width() - QFontMetrics(W->font()).horizontalAdvance(Text)) / 2;
    }

    QFont saved_font_;
};

TEST_F(FontTest, WindowFontReachesEveryControlInsideTheGroups) {
    TMainDlg& w = NewWindow();
    EXPECT_EQ(w.font().pixelSize(), 11);
    EXPECT_EQ(ForeignFonts(w, {w.title_lbl}), std::vector<std::string>{});
    // The bold ones keep the window's size.
    for (const QWidget* bold : {static_cast<QWidget*>(w.process_btn),
                                static_cast<QWidget*>(w.Label7), static_cast<QWidget*>(w.Label8)}) {
        EXPECT_TRUE(bold->font().bold());
        EXPECT_EQ(bold->font().pixelSize(), 11);
    }
    EXPECT_EQ(w.title_lbl->font().pixelSize(), 13);
    EXPECT_TRUE(w.title_lbl->font().bold());
}

TEST_F(FontTest, WindowFontReachesEveryControlOfTheAboutBox) {
    TAboutDlg about;
    about.FillTexts();
    EXPECT_EQ(about.font().pixelSize(), 11);
    EXPECT_EQ(ForeignFonts(about), std::vector<std::string>{});
}

TEST_F(FontTest, TextsFitTheirPlaces) {
    TMainDlg& w = NewWindow();
    EXPECT_EQ(w.Label9->geometry(), QRect(83, 89, 123, 26));
    const QRect wrapped = QFontMetrics(w.Label9->font())
                              .boundingRect(QRect(0, 0, w.Label9->width(), 1000),
                                            Qt::TextWordWrap | Qt::AlignHCenter, w.Label9->text());
    EXPECT_LE(wrapped.height(), w.Label9->height()) << "Label9 needs more than two lines";

    // A caption that touches its button's edge is what a too large font does first.
    for (const QPushButton* b : w.findChildren<QPushButton*>())
        EXPECT_GE(SideRoom(b, b->text()), 3) << b->text().toStdString();

    // A label ends before the field to its right.
    struct Pair {
        const QLabel* label;
        const QWidget* field;
    } pairs[] = {{w.Label1, w.rbase_txt}, {w.Label2, w.gbase_txt}, {w.Label3, w.bbase_txt},
                 {w.Label4, w.r_txt},     {w.Label5, w.g_txt},     {w.Label6, w.b_txt},
                 {w.Label7, w.Label8}};
    for (const Pair& p : pairs)
        EXPECT_LT(p.label->geometry().right(), p.field->x()) << p.label->text().toStdString();

    TAboutDlg about;
    about.FillTexts();
    for (const QPushButton* b : about.findChildren<QPushButton*>())
        EXPECT_GE(SideRoom(b, b->text()), 3) << b->text().toStdString();
    for (const QLabel* label : {about.appname_lbl, about.version_lbl})
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
    for (const QGroupBox* g : about.findChildren<QGroupBox*>())
        EXPECT_LE(QFontMetrics(g->font()).horizontalAdvance(g->title()) + 4, g->width())
            << g->title().toStdString();
}

} // namespace
