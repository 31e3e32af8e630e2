// The system's message box.
#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace korvale::ui {

void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon) {
    QMessageBox box(
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
        QCoreApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace korvale::ui
