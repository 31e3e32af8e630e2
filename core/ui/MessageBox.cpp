// The system's message box.
#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace korvale::ui {
namespace {

// The program's name as its users know it, not the executable's file name.
QString Title() {
    return QStringLiteral("Korvale");
}

QString Translated(const char* text) {
    return QCoreApplication::translate("korvale::ui::MessageBox", text);
}

}  // namespace

void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon,
                    const std::string& detail) {
    QMessageBox box(
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon, Title(),
        QString::fromStdString(text), QMessageBox::Ok, parent);
    if (!detail.empty()) {
        box.setInformativeText(QString::fromStdString(detail));
    }
    box.exec();
}

bool ShowCompletionBox(QWidget* parent, const std::string& text, const std::string& counts) {
    QMessageBox box(QMessageBox::Information, Title(), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.setInformativeText(QString::fromStdString(counts));
    QPushButton* open =
        box.addButton(Translated(QT_TRANSLATE_NOOP("korvale::ui::MessageBox", "フォルダを開く")),
                      QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == open;
}

bool AskYesNo(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Question, Title(), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)
        ->setText(Translated(QT_TRANSLATE_NOOP("korvale::ui::MessageBox", "はい(&Y)")));
    box.button(QMessageBox::No)
        ->setText(Translated(QT_TRANSLATE_NOOP("korvale::ui::MessageBox", "いいえ(&N)")));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace korvale::ui
