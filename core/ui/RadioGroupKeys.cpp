// Radio groups that behave as a dialog template's: one tab stop, arrow keys within.
#include <QAbstractButton>
#include <QKeyEvent>
#include <algorithm>

#include "DialogLayout.h"

namespace korvale::ui {
namespace {

// Moves the choice of a radio group with the arrow keys, since only one member takes Tab.
class RadioArrowKeys : public QObject {
public:
    RadioArrowKeys(std::vector<QAbstractButton*> group, QObject* parent)
        : QObject(parent), group_(std::move(group)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const int key = static_cast<QKeyEvent*>(event)->key();
        int step = 0;
        if (key == Qt::Key_Left || key == Qt::Key_Up) {
            step = -1;
        } else if (key == Qt::Key_Right || key == Qt::Key_Down) {
            step = +1;
        } else {
            return false;
        }
        const auto from = std::find(group_.begin(), group_.end(), watched);
        if (from == group_.end()) {
            return false;
        }
        const int count = static_cast<int>(group_.size());
        int index = static_cast<int>(from - group_.begin());
        for (int tried = 1; tried < count; ++tried) {
            index = (index + step + count) % count;
            QAbstractButton* next = group_[static_cast<size_t>(index)];
            if (next->isEnabled() && next->isVisible()) {
                next->setFocus(Qt::TabFocusReason);
                next->click();
                break;
            }
        }
        return true;
    }

private:
    std::vector<QAbstractButton*> group_;
};

}  // namespace

void TabStopAtCheckedButton(const std::vector<QAbstractButton*>& group) {
    if (group.empty()) {
        return;
    }
    const auto update = [group] {
        const bool anyChecked = std::any_of(group.begin(), group.end(),
                                            [](QAbstractButton* b) { return b->isChecked(); });
        for (QAbstractButton* button : group) {
            // With none checked the first one stands for the group.
            const bool stop = anyChecked ? button->isChecked() : button == group.front();
            button->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
        }
    };
    auto* arrows = new RadioArrowKeys(group, group.front());
    for (QAbstractButton* button : group) {
        QObject::connect(button, &QAbstractButton::toggled, button, update);
        button->installEventFilter(arrows);
    }
    update();
}

}  // namespace korvale::ui
