// Draws the four toolbar icons of Printer Kivo and the application icon, and
// writes them as PNG files.
// Run once; the PNG files are committed under images/.
//   make-icons <output folder>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

constexpr int kSize = 32;

QImage blankIcon()
{
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// One half of a serial plug: a rounded body with a cable leaving it and, on
// the male side, two pins.
void drawPlugHalf(QPainter &p, QPointF bodyCentre, bool facingRight, bool withPins, QColor colour)
{
    const qreal dir = facingRight ? 1.0 : -1.0;
    p.setPen(QPen(colour.darker(160), 1.2));
    p.setBrush(colour);
    const QRectF body(bodyCentre.x() - 4.5, bodyCentre.y() - 6, 9, 12);
    p.drawRoundedRect(body, 2, 2);
    // cable
    p.setPen(QPen(QColor(60, 60, 60), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(bodyCentre.x() - dir * 4.5, bodyCentre.y()), QPointF(bodyCentre.x() - dir * 10, bodyCentre.y()));
    if (withPins) {
        p.setPen(QPen(QColor(90, 90, 90), 1.8, Qt::SolidLine, Qt::FlatCap));
        for (qreal dy : {-2.8, 2.8})
            p.drawLine(QPointF(bodyCentre.x() + dir * 4.5, bodyCentre.y() + dy),
                       QPointF(bodyCentre.x() + dir * 8.5, bodyCentre.y() + dy));
    }
}

QImage connectIcon()
{
    QImage image = blankIcon();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(64, 160, 72);
    drawPlugHalf(p, {11, 16}, true, true, green);
    drawPlugHalf(p, {20.5, 16}, false, false, green);
    return image;
}

QImage disconnectIcon()
{
    QImage image = blankIcon();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red(200, 64, 56);
    drawPlugHalf(p, {9, 19}, true, true, red);
    drawPlugHalf(p, {24, 13}, false, false, red);
    // a small spark gap mark
    p.setPen(QPen(QColor(220, 160, 0), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 8), QPointF(17.5, 11));
    p.drawLine(QPointF(14, 24), QPointF(15.5, 21));
    return image;
}

QImage settingsIcon()
{
    QImage image = blankIcon();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(16, 16);
    QPainterPath gear;
    const int teeth = 8;
    const qreal outer = 13.5, inner = 10.5;
    for (int i = 0; i < teeth * 4; ++i) {
        // Each tooth: rise, top, fall, valley.
        const qreal angle = (i / qreal(teeth * 4)) * 2 * M_PI;
        const qreal r = (i % 4 == 1 || i % 4 == 2) ? outer : inner;
        const QPointF pt(c.x() + r * qCos(angle), c.y() + r * qSin(angle));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 4.5, 4.5);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(QColor(60, 70, 90), 1.2));
    p.setBrush(QColor(130, 145, 170));
    p.drawPath(gear);
    return image;
}

QImage exitIcon()
{
    QImage image = blankIcon();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // door frame and open door
    p.setPen(QPen(QColor(90, 60, 30), 1.5));
    p.setBrush(QColor(240, 230, 210));
    p.drawRect(QRectF(4.5, 3.5, 14, 25));
    QPolygonF door({QPointF(4.5, 3.5), QPointF(12.5, 6.5), QPointF(12.5, 31), QPointF(4.5, 28.5)});
    p.setBrush(QColor(160, 100, 50));
    p.drawPolygon(door);
    // arrow pointing out
    p.setPen(QPen(QColor(200, 50, 40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(16, 16), QPointF(28, 16));
    p.drawLine(QPointF(23.5, 11.5), QPointF(28, 16));
    p.drawLine(QPointF(23.5, 20.5), QPointF(28, 16));
    return image;
}

// The application icon: a receipt printer with a printed receipt coming out.
QImage applicationIcon()
{
    const int size = 128;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // the receipt, behind the printer's slot
    const QRectF paper(34, 8, 60, 70);
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.setBrush(Qt::white);
    p.drawRect(paper);
    p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 20 + i * 11;
        p.drawLine(QPointF(42, y), QPointF(i % 2 ? 74 : 86, y));
    }
    // the printer body
    QLinearGradient body(0, 60, 0, 120);
    body.setColorAt(0, QColor(90, 110, 140));
    body.setColorAt(1, QColor(50, 62, 82));
    p.setPen(QPen(QColor(30, 38, 52), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(10, 60, 108, 56), 10, 10);
    // the paper slot
    p.setBrush(QColor(20, 24, 32));
    p.drawRoundedRect(QRectF(28, 66, 72, 8), 3, 3);
    // status light and button
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 210, 110));
    p.drawEllipse(QPointF(100, 100), 5, 5);
    p.setBrush(QColor(200, 210, 225));
    p.drawRoundedRect(QRectF(22, 96, 34, 8), 3, 3);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = connectIcon().save(folder + "/connect.png") && disconnectIcon().save(folder + "/disconnect.png")
        && settingsIcon().save(folder + "/settings.png") && exitIcon().save(folder + "/application-exit.png")
        && applicationIcon().save(folder + "/printer-kivo.png");
    return ok ? 0 : 1;
}
