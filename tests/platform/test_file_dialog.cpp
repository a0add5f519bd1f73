// The real open-file dialog, confirmed or cancelled by a queued call once it is shown.
#include "platform/C_WideDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Chooses Path in the next dialog that shows up.
void ChooseWhenShown(const std::string& path) {
    QTimer::singleShot(0, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
    });
}

TEST(FileDialogTest, HistoryOfTheFoldersBrowsedIsWrittenOnlyWhenKept) {
    const fs::path config = std::getenv("XDG_CONFIG_HOME");
    const fs::path history = config / "QtProject.conf";
    const fs::path pictures = config.parent_path() / "pictures";
    fs::create_directories(pictures);
    for (bool keep : {false, true}) {
        fs::remove(history);
        TWideOpenDialog dialog;
        dialog.KeepHistory = keep;
        ChooseWhenShown((pictures / "a.jpg").string());
        ASSERT_TRUE(dialog.Execute(nullptr));
        EXPECT_EQ(dialog.FileName, (pictures / "a.jpg").string());
        EXPECT_EQ(fs::exists(history), keep) << keep;
    }
    // A dialog without history afterwards leaves the user's file as it was.
    const std::string before = std::to_string(fs::file_size(history));
    const auto stamp = fs::last_write_time(history);
    TWideOpenDialog dialog;
    dialog.KeepHistory = false;
    ChooseWhenShown((pictures / "b.jpg").string());
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(fs::last_write_time(history), stamp);
    EXPECT_EQ(std::to_string(fs::file_size(history)), before);
    fs::remove(history);
}

} // namespace
