#include "platform/C_WideDialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>

namespace {

std::function<bool(std::string&)>& TestHandler() {
    static std::function<bool(std::string&)> handler;
    return handler;
}

QScreen* DialogScreen(QWidget* owner) {
    QWidget* active = QApplication::activeWindow();
    if (active == nullptr)
        active = owner;
    QScreen* screen = active != nullptr ? active->screen() : nullptr;
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

// Qt's own dialog reads and writes the folders browsed in the user's "QtProject.conf" and
// cannot be told not to. While a guard lives, Qt's user settings point at a path below
// /dev/null, where no file can ever be made; then they point back at the user's folder.
class TNoQtSettings {
  public:
    TNoQtSettings() { Point(QStringLiteral("/dev/null")); }
    ~TNoQtSettings() {
        Point(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    TNoQtSettings(const TNoQtSettings&) = delete;
    TNoQtSettings& operator=(const TNoQtSettings&) = delete;

  private:
    static void Point(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    }
};

} // namespace

void SetOpenDialogHandlerForTests(std::function<bool(std::string& FileName)> Handler) {
    TestHandler() = std::move(Handler);
}

bool TWideOpenDialog::Execute(QWidget* Owner) {
    if (TestHandler()) {
        std::string name = FileName;
        if (!TestHandler()(name))
            return false;
        FileName = name;
        return true;
    }

    std::optional<TNoQtSettings> noHistory;
    if (!KeepHistory)
        noHistory.emplace();
    // Qt's own dialog: the same on every desktop, and it takes a typed full path.
    QFileDialog dialog(Owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(Filter));
    dialog.setSizeGripEnabled(true);
    if (!FileName.empty())
        dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(FileName)));

    dialog.adjustSize();
    if (QScreen* screen = DialogScreen(Owner)) {
        const QRect area = screen->availableGeometry();
        const QSize size = dialog.frameGeometry().size();
        dialog.move(area.left() + (area.width() - size.width()) / 2,
                    area.top() + (area.height() - size.height()) / 3);
    }

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return false;
    FileName = QFile::encodeName(files.first()).toStdString();
    return true;
}
