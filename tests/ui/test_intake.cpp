// Picture intake by dialog and by drop, and the drop receiver itself.
#include "platform/U_DragDrop.h"
#include "ui/image32.h"
#include "ui_fixture.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>

namespace {

std::string UriOf(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_')
            uri += static_cast<char>(c);
        else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

std::unique_ptr<QMimeData> FileDrop(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& p : paths)
        list += UriOf(p) + "\r\n";
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/uri-list"), QByteArray::fromStdString(list));
    return data;
}

// Drags over the widget and drops; returns whether the drop was accepted.
bool DragAndDrop(QWidget* target, const QMimeData* data,
                 Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
    const QPointF at(100, 100);
    QDragEnterEvent enter(at.toPoint(), offered, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at.toPoint(), offered, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

struct DropCase {
    std::vector<std::string> names; // created as files in the test folder, except *dir*
    int opened;                     // index of the name that is loaded, -1 for none
};

class Drops : public UiTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(Drops, OnlyTheFirstNameWithAJpegExtensionIsOpened) {
    const DropCase c = GetParam();
    TMainDlg& w = NewWindow();
    std::vector<std::string> paths;
    for (const std::string& name : c.names) {
        paths.push_back(root + "/" + name);
        MakeJpeg(name);
    }
    const auto data = FileDrop(paths);
    EXPECT_TRUE(DragAndDrop(&w, data.get()));

    int loads = 0;
    for (const std::string& p : paths)
        loads += Count(w, "Loading : " + p);
    if (c.opened < 0) {
        EXPECT_EQ(loads, 0);
        EXPECT_EQ(Renders(w), 0);
    } else {
        EXPECT_EQ(loads, 1);
        EXPECT_EQ(Count(w, "Loading : " + paths[c.opened]), 1);
        EXPECT_EQ(ReadAll(w.work_path), ReadAll(paths[c.opened]));
        EXPECT_TRUE(w.save_btn->isEnabled());
    }
    EXPECT_TRUE(w.dropped_files->empty());
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Names, Drops,
                         ::testing::Values(DropCase{{"photo.JPG"}, 0}, DropCase{{"photo.Jpeg"}, 0},
                                           DropCase{{"photo.png"}, -1}, DropCase{{"photo"}, -1},
                                           DropCase{{"photo.jpg.txt"}, -1},
                                           DropCase{{"first.jpg", "second.jpg", "third.jpg"}, 0},
                                           DropCase{{"first.png", "second.jpg"}, -1},
                                           DropCase{{"caf\xe9 au lait.jpg"},
                                                    0}, // not UTF-8: bytes kept
                                           DropCase{{"with space #1%.jpg"}, 0}));

TEST_F(UiTest, DroppedFolderNamedLikeAPictureIsReportedLikeAnUnreadablePicture) {
    TMainDlg& w = NewWindow();
    w.OpenPicture(MakeJpeg("before.jpg"));
    ASSERT_TRUE(w.save_btn->isEnabled());
    const std::string folder = root + "/x.jpg";
    std::filesystem::create_directory(folder);

    const auto data = FileDrop({folder});
    DragAndDrop(&w, data.get());

    EXPECT_EQ(Count(w, "Loading : " + folder), 1);
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to load file"});
    EXPECT_EQ(w.filename_txt->text(), "");
    EXPECT_EQ(w.work_path, "");
    EXPECT_FALSE(std::filesystem::exists(DataFolder() + "Huelet.jpg"));
    EXPECT_TRUE(w.img->isHidden());
    EXPECT_TRUE(w.orgimg->isHidden());
    EXPECT_FALSE(w.save_btn->isEnabled());
    EXPECT_EQ(w.dist_r->value(), 40);
}

TEST_F(UiTest, MissingSourceIsReportedOnceWhateverTheThresholds) {
    TMainDlg& w = NewWindow();
    w.dist_r->setValue(1);
    w.dist_g->setValue(2);
    dialog_answers.push_back(root + "/gone.jpg");
    w.load_btn->click();
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to load file"});
    EXPECT_EQ(Count(w, "Unable to load file"), 1);
    EXPECT_EQ(Renders(w), 0);
}

TEST_F(UiTest, LoadingAgainRendersAFreshWorkingCopy) {
    TMainDlg& w = NewWindow();
    const std::string path = root + "/pic.jpg";
    WriteBmp(path, 4, 4, [](int, int) { return 0xFF112233u; });
    w.OpenPicture(path);
    EXPECT_EQ(w.orgimg->Bitmap().PixelAt(0, 0), 0xFF112233u);
    WriteBmp(path, 4, 4, [](int, int) { return 0xFF445566u; });
    w.OpenPicture(path);
    EXPECT_EQ(w.orgimg->Bitmap().PixelAt(0, 0), 0xFF445566u);
    EXPECT_EQ(w.work_path, DataFolder() + "Huelet.jpg");
    // Removing the user's file afterwards does not disturb the work.
    std::filesystem::remove(path);
    w.process_btn->click();
    EXPECT_TRUE(messages.empty());
}

TEST_F(UiTest, DropTargetAppendsInOrderThenNotifiesOnce) {
    QWidget window;
    std::vector<std::string> names{"already there"};
    int notified = 0;
    TMyDropTarget* target = RegisterFileDrop(&window, &names, [&](TMyDropTarget*) {
        ++notified;
        EXPECT_EQ(names.size(), 4u); // every name is in before the notification
    });
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(RegisterFileDrop(&window, &names, {}), nullptr); // already registered

    const auto data = FileDrop({"/a/1.jpg", "/b/2 two.png", "/c/3"});
    EXPECT_TRUE(DragAndDrop(&window, data.get()));
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(names,
              (std::vector<std::string>{"already there", "/a/1.jpg", "/b/2 two.png", "/c/3"}));

    // Only a move offered: refused, nothing collected.
    EXPECT_FALSE(DragAndDrop(&window, data.get(), Qt::MoveAction));
    // No file in the data: nothing collected, no notification.
    QMimeData text;
    text.setText(QStringLiteral("just words"));
    DragAndDrop(&window, &text);
    const auto remote = FileDrop({});
    remote->setData(QStringLiteral("text/uri-list"), "file://elsewhere/x.jpg\r\n# comment\r\n");
    DragAndDrop(&window, remote.get());
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(names.size(), 4u);

    EXPECT_TRUE(UnregisterFileDrop(&window));
    EXPECT_FALSE(UnregisterFileDrop(&window));
    EXPECT_FALSE(window.acceptDrops());
}

TEST_F(UiTest, DroppedNamesKeepEveryByte) {
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 "file:///tmp/caf%E9.jpg\r\nfile://localhost/x/%41b%25\r\nfile:/single/slash\r\n");
    EXPECT_EQ(TMyDropTarget::DroppedFileNames(data),
              (std::vector<std::string>{"/tmp/caf\xe9.jpg", "/x/Ab%", "/single/slash"}));
}

// "Unable to load file" stays as it was; the box's detail says what is wrong with the file.
TEST_F(UiTest, UnableToLoadFileSaysWhyInItsDetail) {
    struct Case {
        const char* what;
        std::function<std::string()> make; // gives the path to load
        std::function<std::string()> why;  // the expected detail, asked after the load
    } cases[] = {
        {"missing", [this] { return root + "/gone.jpg"; },
         [this] { return "Cannot open \"" + root + "/gone.jpg\": No such file or directory"; }},
        {"folder",
         [this] {
             std::filesystem::create_directory(root + "/x.jpg");
             return root + "/x.jpg";
         },
         [this] { return "\"" + root + "/x.jpg\" is a folder"; }},
        {"not a picture",
         [this] {
             WriteText(root + "/bad.jpg", std::string(200, 'x'));
             return root + "/bad.jpg";
         },
         [] {
             // The decoder's own message about the working copy.
             TBitmap32 bmp;
             try {
                 bmp.ReadPictureFile(DataFolder() + "Huelet.jpg");
             } catch (const std::exception& error) {
                 return std::string(error.what());
             }
             return std::string("decoded");
         }},
    };
    for (const Case& c : cases) {
        TMainDlg w;
        w.AppEvtActivate();
        messages.clear();
        details.clear();
        w.OpenPicture(c.make());
        EXPECT_EQ(messages, std::vector<std::string>{"Unable to load file"}) << c.what;
        ASSERT_EQ(details.size(), 1u) << c.what;
        EXPECT_EQ(details[0], c.why()) << c.what;
        EXPECT_EQ(Count(w, "Unable to load file"), 1) << c.what;
    }
}
