#pragma once
#include "engine/bitmap32.h"
#include "engine/geometry.h"

#include <QImage>
#include <QWidget>

// A picture view: owns one TBitmap32 and draws it fitted into the view, top-left aligned,
// with nearest-neighbour sampling. Pointer moves and presses are reported in view pixels; a
// pressed button keeps the mouse, so moves outside the view are still reported.
class TImage32 : public QWidget {
    Q_OBJECT
  public:
    explicit TImage32(QWidget* Parent = nullptr);

    TBitmap32& Bitmap() { return bitmap_; }
    const TBitmap32& Bitmap() const { return bitmap_; }
    // Call after changing Bitmap() so the view redraws it.
    void Changed();

    // The part of the view covered by the picture.
    TRect DisplayedRect() const;

    // The picture as drawn on screen (displayed size), built from the buffer.
    QImage DisplayedImage() const;

  signals:
    void MouseMoved(TImage32* Sender, int X, int Y);
    void MousePressed(TImage32* Sender, Qt::MouseButton Button, int X, int Y);

  protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;

  private:
    TBitmap32 bitmap_;
    mutable QImage cache_;
    mutable bool cache_valid_ = false;
};
