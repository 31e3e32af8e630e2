// Up and down arrows bound to a digit field: each step reads the field's number, moves it by 1
// within the range and writes it back without separators. The field keeps any text the user
// types until the arrows are used; the arrow keys in the field step too.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace korvale::ui {

class SpinButton : public QWidget {
    Q_OBJECT

public:
    SpinButton(QLineEdit* buddy, QWidget* parent);

    void SetRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // One step up (+1) or down (-1), as a click on an arrow does.
    void Step(int direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* buddy_;
    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
};

}  // namespace korvale::ui
