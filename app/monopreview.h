#pragma once

#include <QImage>
#include <QWidget>

// Shows a 1-bit picture at its natural size, one screen pixel per dot,
// without a 32-bit copy of all of it: each paint converts only the part
// that is exposed, so a tall or wide picture costs what the screen shows.
// Placed as a label with a pixmap would be: at the left, centred vertically
// when the view is taller than the picture.
class MonoPreview : public QWidget
{
    Q_OBJECT

public:
    explicit MonoPreview(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    const QImage &image() const { return shown; }
    // Where the picture is drawn in the widget.
    QRect pictureRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage shown;
};
