#pragma once
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QWidget;
class QMimeData;

// Receives files dropped on one window: appends their names (UTF-8 bytes, in the order the
// drop delivers them) to a list the window owns, then runs the window's notification once.
// It knows nothing about pictures.
class TMyDropTarget : public QObject {
    Q_OBJECT
  public:
    using TNotify = std::function<void(TMyDropTarget* Sender)>;

    TMyDropTarget(QWidget* Window, std::vector<std::string>* Names);

    void SetNotification(TNotify Notify) { notify_ = std::move(Notify); }

    // The local file names a drop carries ("file:" entries of its URI list), byte for byte.
    static std::vector<std::string> DroppedFileNames(const QMimeData& Data);

  protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    void Drop(const QMimeData* Data);

    std::vector<std::string>* names_;
    TNotify notify_;
};

// Makes Window receive dropped files into Names, then calls Notify. Returns the receiver, or
// nullptr when Window is null or already registered. The receiver lives until
// UnregisterFileDrop (or until the window is destroyed).
TMyDropTarget* RegisterFileDrop(QWidget* Window, std::vector<std::string>* Names,
                                TMyDropTarget::TNotify Notify);

// Stops receiving drops and destroys the receiver; false when Window had none.
bool UnregisterFileDrop(QWidget* Window);
