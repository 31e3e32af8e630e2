// The program icon: three frames of different sizes made one, on a blue tile, drawn from its
// SVG at whatever size and display scale is asked for, so it stays sharp.
#include "AppIcon.h"

#include "korvale/Version.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <memory>

#include "AppIconSvg.h"

namespace korvale {
namespace {

class SvgIconEngine : public QIconEngine {
public:
    SvgIconEngine() : renderer_(std::make_shared<QSvgRenderer>(QByteArray(kAppIconSvg))) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        renderer_->render(painter, rect);
    }
    // QIcon asks for device pixels (the logical size times the screen's scale).
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
    // What a window manager picks its icons from; any other size is drawn as well.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 24, 32, 48, 64, 128, 256}) {
            sizes.append(QSize(side, side));
        }
        return sizes;
    }
    QIconEngine* clone() const override { return new SvgIconEngine(*this); }
    QString key() const override { return QStringLiteral("KorvaleSvgIcon"); }

private:
    std::shared_ptr<QSvgRenderer> renderer_;
};

}  // namespace

QIcon DrawnAppIcon() {
    static const QIcon icon(new SvgIconEngine);
    return icon;
}

QIcon AppIcon() {
    // The installed theme icon keeps the window, the task bar and the menu alike.
    return QIcon::fromTheme(QStringLiteral(KORVALE_APP_ID), DrawnAppIcon());
}

}  // namespace korvale
