// A static control whose painting is delegated to its owner: the margin colour swatch.
#pragma once

#include <QFrame>
#include <functional>

namespace korvale {

class CMyGraph : public QFrame {
public:
    // Receives the painter (clipped to the client rectangle), that rectangle, the parent window
    // and the control's identifier.
    using PaintRoutine = std::function<void(QPainter&, const QRect&, QWidget*, int)>;

    explicit CMyGraph(QWidget* parent);
    void SetPaintRoutine(PaintRoutine routine) { paint_ = std::move(routine); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PaintRoutine paint_;
};

}  // namespace korvale
