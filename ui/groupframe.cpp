#include "ui/groupframe.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
// The frame's top line lies this far down, about the middle of an 11-pixel caption.
constexpr int kFrameTop = 6;
constexpr int kCaptionPadding = 2;
} // namespace

TGroupFrame::TGroupFrame(const QString& Title, QWidget* Parent, int CaptionLeft)
    : QGroupBox(Title, Parent), caption_left_(CaptionLeft) {}

void TGroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRoundedRect(QRectF(rect().adjusted(0, kFrameTop, -1, -1)).translated(0.5, 0.5), 2,
                            2);
    if (title().isEmpty())
        return;
    const QFontMetrics metrics(font());
    const QRect caption(caption_left_, 0,
                        metrics.horizontalAdvance(title()) + 2 * kCaptionPadding + 1,
                        metrics.height());
    // The caption interrupts the frame line.
    painter.fillRect(caption, palette().brush(backgroundRole()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter | Qt::TextShowMnemonic, title());
}
