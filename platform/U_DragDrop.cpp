#include "platform/U_DragDrop.h"

#include "base/ascii.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

const char* const kReceiverName = "TMyDropTarget";

std::string PercentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = base::HexDigitValue(text[i + 1]);
            int lo = base::HexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The local path of one URI-list entry, or "" for anything that is not a local file.
std::string LocalPathOf(std::string uri) {
    while (!uri.empty() && (uri.back() == '\r' || uri.back() == '\n' || uri.back() == ' '))
        uri.pop_back();
    const std::string scheme = "file:";
    if (uri.size() <= scheme.size())
        return {};
    if (!base::StartsWithIgnoringAsciiCase(uri, scheme))
        return {};
    std::string rest = uri.substr(scheme.size());
    if (rest.rfind("//", 0) == 0) {
        size_t slash = rest.find('/', 2);
        if (slash == std::string::npos)
            return {};
        std::string host = rest.substr(2, slash - 2);
        if (!host.empty() && host != "localhost")
            return {};
        rest = rest.substr(slash);
    }
    size_t end = rest.find_first_of("?#");
    if (end != std::string::npos)
        rest.resize(end);
    return PercentDecoded(rest);
}

} // namespace

TMyDropTarget::TMyDropTarget(QWidget* Window, std::vector<std::string>* Names)
    : QObject(Window), names_(Names) {
    setObjectName(kReceiverName);
}

std::vector<std::string> TMyDropTarget::DroppedFileNames(const QMimeData& Data) {
    std::vector<std::string> result;
    // The raw list keeps every byte of a name, whatever its encoding.
    const QByteArray raw = Data.data(QStringLiteral("text/uri-list"));
    if (!raw.isEmpty()) {
        for (const QByteArray& line : raw.split('\n')) {
            if (line.startsWith('#'))
                continue;
            std::string path = LocalPathOf(line.toStdString());
            if (!path.empty())
                result.push_back(path);
        }
        return result;
    }
    for (const QUrl& url : Data.urls())
        if (url.isLocalFile())
            result.push_back(LocalPathOf(url.toEncoded().toStdString()));
    return result;
}

void TMyDropTarget::Drop(const QMimeData* Data) {
    if (Data == nullptr)
        return;
    const std::vector<std::string> dropped = DroppedFileNames(*Data);
    size_t count = 0;
    for (const std::string& name : dropped) {
        if (name.empty())
            continue;
        if (names_ != nullptr)
            names_->push_back(name);
        ++count;
    }
    if (count >= 1 && notify_)
        notify_(this);
}

bool TMyDropTarget::eventFilter(QObject* Watched, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::DragEnter:
        // Accepted as offered, so that the moves and the drop reach us.
        static_cast<QDragEnterEvent*>(Event)->accept();
        return true;
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(Event);
        if (move->possibleActions() & Qt::CopyAction) {
            move->setDropAction(Qt::CopyAction);
            move->accept();
        } else {
            move->setDropAction(Qt::IgnoreAction);
            move->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(Event);
        // Only ever a copy: a source told "moved" could delete the user's file.
        if (!(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        Drop(drop->mimeData());
        return true;
    }
    default:
        return QObject::eventFilter(Watched, Event);
    }
}

TMyDropTarget* RegisterFileDrop(QWidget* Window, std::vector<std::string>* Names,
                                TMyDropTarget::TNotify Notify) {
    if (Window == nullptr ||
        Window->findChild<TMyDropTarget*>(kReceiverName, Qt::FindDirectChildrenOnly))
        return nullptr;
    auto* target = new TMyDropTarget(Window, Names);
    Window->installEventFilter(target);
    Window->setAcceptDrops(true);
    target->SetNotification(std::move(Notify));
    return target;
}

bool UnregisterFileDrop(QWidget* Window) {
    if (Window == nullptr)
        return false;
    auto* target = Window->findChild<TMyDropTarget*>(kReceiverName, Qt::FindDirectChildrenOnly);
    if (target == nullptr)
        return false;
    Window->removeEventFilter(target);
    Window->setAcceptDrops(false);
    delete target;
    return true;
}
