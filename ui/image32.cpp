#include "ui/image32.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

TImage32::TImage32(QWidget* Parent) : QWidget(Parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TImage32::Changed() {
    cache_valid_ = false;
    cache_ = QImage();
    update();
}

TRect TImage32::DisplayedRect() const {
    return ::DisplayedRect(width(), height(), bitmap_);
}

QImage TImage32::DisplayedImage() const {
    if (cache_valid_)
        return cache_;
    const TRect rect = DisplayedRect();
    const int dw = rect.right - rect.left;
    const int dh = rect.bottom - rect.top;
    QImage image;
    if (dw > 0 && dh > 0) {
        image = QImage(dw, dh, QImage::Format_RGB32);
        const std::vector<int> columns = NearestSourceMap(dw, bitmap_.Width());
        const std::vector<int> rows = NearestSourceMap(dh, bitmap_.Height());
        for (int dy = 0; dy < dh; ++dy) {
            const TColor32* source = bitmap_.Row(rows[dy]);
            auto* target = reinterpret_cast<TColor32*>(image.scanLine(dy));
            // Drawn opaque: the alpha channel never blends.
            for (int dx = 0; dx < dw; ++dx)
                target[dx] = source[columns[dx]] | 0xFF000000u;
        }
    }
    cache_ = image;
    cache_valid_ = true;
    return cache_;
}

void TImage32::paintEvent(QPaintEvent*) {
    const QImage image = DisplayedImage();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TImage32::resizeEvent(QResizeEvent* Event) {
    cache_valid_ = false;
    QWidget::resizeEvent(Event);
}

namespace {
QPoint ViewPoint(const QMouseEvent* event) {
    const QPointF p = event->position();
    return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}
} // namespace

void TImage32::mouseMoveEvent(QMouseEvent* Event) {
    const QPoint p = ViewPoint(Event);
    emit MouseMoved(this, p.x(), p.y());
}

void TImage32::mousePressEvent(QMouseEvent* Event) {
    const QPoint p = ViewPoint(Event);
    emit MousePressed(this, Event->button(), p.x(), p.y());
}
