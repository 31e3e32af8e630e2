// The owner-painted swatch.
#include "MyGraph.h"

#include <QPainter>

#include "DialogLayout.h"

namespace korvale {

CMyGraph::CMyGraph(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

void CMyGraph::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!paint_) {
        return;
    }
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.setClipRect(client);
    paint_(painter, client, parentWidget(), ui::ControlId(this));
}

}  // namespace korvale
