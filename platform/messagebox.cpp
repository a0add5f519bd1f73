#include "platform/shell.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <utility>

namespace {

std::function<int(const TMessageBoxRequest&)>& TestHandler() {
    static std::function<int(const TMessageBoxRequest&)> handler;
    return handler;
}

QMessageBox::StandardButton StandardButtonOf(int code) {
    switch (code) {
    case kIdCancel:
        return QMessageBox::Cancel;
    case kIdYes:
        return QMessageBox::Yes;
    case kIdNo:
        return QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

int CodeOf(int standardButton, const std::vector<int>& codes) {
    switch (standardButton) {
    case QMessageBox::Ok:
        return kIdOk;
    case QMessageBox::Cancel:
        return kIdCancel;
    case QMessageBox::Yes:
        return kIdYes;
    case QMessageBox::No:
        return kIdNo;
    default:
        // Closed some other way: the box's escape answer.
        for (int code : codes)
            if (code == kIdCancel)
                return kIdCancel;
        return codes.size() == 1 ? codes.front() : kIdNo;
    }
}

QMessageBox::Icon QtIconOf(TMessageIcon icon) {
    switch (icon) {
    case TMessageIcon::Warning:
        return QMessageBox::Warning;
    case TMessageIcon::Error:
        return QMessageBox::Critical;
    case TMessageIcon::Question:
        return QMessageBox::Question;
    case TMessageIcon::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

TMessageBoxRequest MessageBoxRequest(QWidget* Window, const std::string& Text, int Buttons,
                                     int Kind) {
    TMessageBoxRequest request;
    request.Window = Window;
    request.Text = Text;
    switch (Buttons) {
    case kMbYesNo:
        request.ButtonCodes = {kIdYes, kIdNo};
        break;
    case kMbYesNoCancel:
        request.ButtonCodes = {kIdYes, kIdNo, kIdCancel};
        break;
    case kMbOkCancel:
        request.ButtonCodes = {kIdOk, kIdCancel};
        break;
    default:
        request.ButtonCodes = {kIdOk};
        break;
    }
    static const struct {
        const char* caption;
        TMessageIcon icon;
    } kinds[] = {{"Message", TMessageIcon::None},
                 {"Warning", TMessageIcon::Warning},
                 {"Error", TMessageIcon::Error},
                 {"Question", TMessageIcon::Question},
                 {"Information", TMessageIcon::Information}};
    if (Kind >= 0 && Kind < static_cast<int>(std::size(kinds))) {
        request.Caption = kinds[Kind].caption;
        request.Icon = kinds[Kind].icon;
    }
    return request;
}

int ShowMessageBox(QWidget* Window, const std::string& Text, int Buttons, int Kind,
                   const std::string& Detail) {
    TMessageBoxRequest request = MessageBoxRequest(Window, Text, Buttons, Kind);
    request.Detail = Detail;
    if (TestHandler())
        return TestHandler()(request);

    QMessageBox box(Window);
    box.setWindowTitle(QString::fromStdString(request.Caption));
    // Messages may quote file names; never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(request.Text));
    box.setIcon(QtIconOf(request.Icon));
    if (!request.Detail.empty())
        box.setDetailedText(QString::fromStdString(request.Detail));
    QMessageBox::StandardButtons buttons;
    for (int code : request.ButtonCodes)
        buttons |= StandardButtonOf(code);
    box.setStandardButtons(buttons);
    box.setDefaultButton(StandardButtonOf(request.ButtonCodes.front()));
    return CodeOf(box.exec(), request.ButtonCodes);
}

int AskYesNo(QWidget* Window, const std::string& Text) {
    return ShowMessageBox(Window, Text, kMbYesNo, kMbKindQuestion);
}

void SetMessageBoxHandlerForTests(std::function<int(const TMessageBoxRequest&)> Handler) {
    TestHandler() = std::move(Handler);
}
