// The program icon: three frames of different sizes made one, on a blue tile.
#include "AppIcon.h"

#include "korvale/Version.h"

#include <QPainter>
#include <QPixmap>

namespace korvale {
namespace {

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(38, 92, 160));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    // Two uneven sheets behind, one uniform sheet in front.
    p.setPen(QPen(QColor(20, 40, 70), std::max(1.0, s / 32)));
    p.setBrush(QColor(200, 215, 235));
    p.drawRect(QRectF(s * 0.14, s * 0.22, s * 0.42, s * 0.52));
    p.drawRect(QRectF(s * 0.46, s * 0.12, s * 0.40, s * 0.36));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(s * 0.30, s * 0.34, s * 0.44, s * 0.54));
    p.setPen(QPen(QColor(38, 92, 160), std::max(1.0, s / 20)));
    p.drawLine(QPointF(s * 0.38, s * 0.50), QPointF(s * 0.66, s * 0.50));
    p.drawLine(QPointF(s * 0.38, s * 0.62), QPointF(s * 0.66, s * 0.62));
    p.drawLine(QPointF(s * 0.38, s * 0.74), QPointF(s * 0.58, s * 0.74));
    return pixmap;
}

}  // namespace

QIcon DrawnAppIcon() {
    static const QIcon icon = [] {
        QIcon built;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            built.addPixmap(Draw(size));
        }
        return built;
    }();
    return icon;
}

QIcon AppIcon() {
    // The installed theme icon keeps the window, the task bar and the menu alike.
    return QIcon::fromTheme(QStringLiteral(KORVALE_APP_ID), DrawnAppIcon());
}

}  // namespace korvale
