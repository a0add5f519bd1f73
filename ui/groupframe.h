#pragma once
#include <QGroupBox>

// A group box drawn as the program's frames are: a thin frame whose top line runs through the
// caption, the contents at the places they were given. It paints itself rather than through a
// style sheet, because a style sheet stops the window's font from reaching the controls inside.
class TGroupFrame : public QGroupBox {
  public:
    // CaptionLeft: where the caption starts, in pixels from the frame's left edge.
    explicit TGroupFrame(const QString& Title, QWidget* Parent, int CaptionLeft = 6);
    explicit TGroupFrame(QWidget* Parent) : TGroupFrame(QString(), Parent) {}

  protected:
    void paintEvent(QPaintEvent* Event) override;

  private:
    int caption_left_;
};
