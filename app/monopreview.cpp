#include "app/monopreview.h"

#include <QPaintEvent>
#include <QPainter>

MonoPreview::MonoPreview(QWidget *parent)
    : QWidget(parent)
{ }

void MonoPreview::setImage(const QImage &image)
{
    shown = image;
    updateGeometry();
    update();
}

QSize MonoPreview::sizeHint() const { return shown.size(); }

QSize MonoPreview::minimumSizeHint() const { return shown.size(); }

QRect MonoPreview::pictureRect() const { return {QPoint(0, qMax(0, (height() - shown.height()) / 2)), shown.size()}; }

void MonoPreview::paintEvent(QPaintEvent *event)
{
    if (shown.isNull())
        return;
    const QRect picture = pictureRect();
    QPainter painter(this);
    for (const QRect &exposed : event->region()) {
        const QRect part = exposed & picture;
        if (!part.isEmpty())
            painter.drawImage(part.topLeft(), shown.copy(part.translated(-picture.topLeft())));
    }
}
