// The system's message box.
#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace korvale::ui {

void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon,
                    const std::string& detail) {
    QMessageBox box(
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
        QCoreApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok, parent);
    if (!detail.empty()) {
        box.setInformativeText(QString::fromStdString(detail));
    }
    box.exec();
}

}  // namespace korvale::ui
