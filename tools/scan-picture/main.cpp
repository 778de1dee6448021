// Draws the picture of the payment-code scan dialog: a phone whose screen shows a QR code, with
// a scanning frame around it. Run at build time; the plug-in carries the result as a resource.

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cstdio>

namespace {

constexpr int Width = 453;
constexpr int Height = 350;
constexpr int Modules = 25;

void drawFinderPattern(QPainter &painter, const QRectF &module, int column, int row)
{
    const qreal size = module.width();
    const QPointF origin = module.topLeft() + QPointF(column * size, row * size);
    painter.fillRect(QRectF(origin, QSizeF(7 * size, 7 * size)), Qt::black);
    painter.fillRect(QRectF(origin + QPointF(size, size), QSizeF(5 * size, 5 * size)), Qt::white);
    painter.fillRect(QRectF(origin + QPointF(2 * size, 2 * size), QSizeF(3 * size, 3 * size)),
                     Qt::black);
}

bool inFinderPattern(int column, int row)
{
    const auto near = [](int value, int start) {
        return value >= start && value < start + 8;
    };
    return (near(column, 0) && near(row, 0)) || (near(column, Modules - 8) && near(row, 0))
           || (near(column, 0) && near(row, Modules - 8));
}

void drawQrCode(QPainter &painter, const QRectF &area)
{
    const qreal size = area.width() / Modules;
    const QRectF module(area.topLeft(), QSizeF(size, size));
    QRandomGenerator modules(20261206); // a fixed seed keeps the picture the same on every build
    for (int row = 0; row < Modules; ++row) {
        for (int column = 0; column < Modules; ++column) {
            if (!inFinderPattern(column, row) && modules.bounded(2) == 0)
                painter.fillRect(module.translated(column * size, row * size), Qt::black);
        }
    }
    drawFinderPattern(painter, module, 0, 0);
    drawFinderPattern(painter, module, Modules - 7, 0);
    drawFinderPattern(painter, module, 0, Modules - 7);
}

void drawScanFrame(QPainter &painter, const QRectF &area)
{
    const qreal arm = area.width() / 5;
    painter.setPen(QPen(QColor(0, 150, 80), 6, Qt::SolidLine, Qt::RoundCap));
    const QPointF corners[]
        = {area.topLeft(), area.topRight(), area.bottomRight(), area.bottomLeft()};
    const QPointF directions[] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (int i = 0; i < 4; ++i) {
        painter.drawLine(corners[i], corners[i] + QPointF(directions[i].x() * arm, 0));
        painter.drawLine(corners[i], corners[i] + QPointF(0, directions[i].y() * arm));
    }
    painter.setPen(QPen(QColor(220, 40, 40, 200), 3));
    painter.drawLine(QPointF(area.left() + 8, area.center().y()),
                     QPointF(area.right() - 8, area.center().y()));
}

QImage drawPicture()
{
    QImage image(Width, Height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF phone(Width / 2.0 - 95, 12, 190, Height - 24);
    QPainterPath body;
    body.addRoundedRect(phone, 26, 26);
    painter.fillPath(body, QColor(45, 48, 56));
    const QRectF screen = phone.adjusted(12, 34, -12, -40);
    painter.fillRect(screen, Qt::white);
    painter.setBrush(QColor(90, 94, 104));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(phone.center().x(), phone.bottom() - 20), 11, 11);
    painter.drawRoundedRect(QRectF(phone.center().x() - 24, phone.top() + 15, 48, 6), 3, 3);

    const qreal codeSize = screen.width() - 30;
    const QRectF code(
        screen.center().x() - codeSize / 2, screen.center().y() - codeSize / 2, codeSize, codeSize);
    drawQrCode(painter, code);
    drawScanFrame(painter, code.adjusted(-24, -24, 24, 24).translated(0, 0));
    painter.end();
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    if (!drawPicture().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
