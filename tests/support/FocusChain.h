// Walks a window's tab chain with real key presses and names each stop by its control
// identifier, so that a test can compare it with the template's order.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "DialogLayout.h"

namespace korvale::test {

// The identifiers of the controls that hold the focus after each of `steps` presses of Tab
// (or Shift+Tab), starting at the control that has it now. 0 names a control without one,
// -1 a press that left nothing focused. Written out whole, so a failure shows every stop.
inline std::string TabChain(QWidget* window, size_t steps, bool backward = false) {
    std::string chain;
    for (size_t i = 0; i < steps; ++i) {
        QWidget* focus = window->focusWidget();
        QTest::keyClick(focus != nullptr ? focus : window, backward ? Qt::Key_Backtab : Qt::Key_Tab,
                        backward ? Qt::ShiftModifier : Qt::NoModifier);
        focus = window->focusWidget();
        // The field inside an editable combo box counts as the box.
        if (focus != nullptr && ui::ControlId(focus) == 0 && focus->parentWidget() != window) {
            focus = focus->parentWidget();
        }
        chain += (chain.empty() ? "" : " ") + std::to_string(focus ? ui::ControlId(focus) : -1);
    }
    return chain;
}

// The identifiers as TabChain writes them.
inline std::string Chain(const std::vector<int>& ids) {
    std::string chain;
    for (int id : ids) {
        chain += (chain.empty() ? "" : " ") + std::to_string(id);
    }
    return chain;
}

}  // namespace korvale::test
