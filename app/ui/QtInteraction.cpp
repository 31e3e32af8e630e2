// The interaction seam on Qt.
#include "QtInteraction.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>

#include "ImageFormats.h"
#include "RunHost.h"
#include "MessageBox.h"
#include "OverwriteDialog.h"

namespace korvale {

QStringList ImageFileFilters() {
    // The shown text names each format by its first extension, as the user knows it; the
    // patterns after it (hidden by HideNameFilterDetails) are what matches, case-insensitively.
    QStringList shown;
    QStringList patterns;
    for (const ImageFormatEntry& format : ImageFormats()) {
        shown << QStringLiteral("*.") +
                     QString::fromUtf8(format.extensions[0].data(), format.extensions[0].size());
        for (size_t i = 0; i < format.offered; ++i) {
            const std::string_view extension = format.extensions[i];
            patterns << QStringLiteral("*.") +
                            QString::fromUtf8(extension.data(), extension.size());
        }
    }
    return {QStringLiteral("Image Files (") + shown.join(';') + QStringLiteral(") (") +
                patterns.join(' ') + QStringLiteral(")"),
            QStringLiteral("All Files (*.*) (*)")};
}

void QtInteraction::ShowMessage(const std::string& text, MessageIcon icon) {
    ui::ShowMessageBox(owner_, text, icon);
}

void QtInteraction::ShowDetailedMessage(const std::string& text, const std::string& detail,
                                        MessageIcon icon) {
    ui::ShowMessageBox(owner_, text, icon, detail);
}

void QtInteraction::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtInteraction::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

OverwriteChoice QtInteraction::AskOverwrite(const std::string& path) {
    COverwriteInQDlg dialog(path, owner_);
    return static_cast<OverwriteChoice>(dialog.exec());
}

bool QtInteraction::AskCreateFolder(const std::string& folder) {
    return ui::AskYesNo(owner_, FolderCreationQuestion(folder));
}

void QtInteraction::ReportDamagedSources(const std::vector<std::string>& paths) {
    // One message however many files; a long list is cut so that the box fits the screen.
    constexpr size_t kShown = 20;
    std::string text =
        "次の画像ファイルはデータが壊れていたため、読み出せなかった部分を補って変換しました。\n";
    for (size_t i = 0; i < paths.size() && i < kShown; ++i) {
        text += "\n" + paths[i];
    }
    if (paths.size() > kShown) {
        text += "\nほか " + std::to_string(paths.size() - kShown) + " 個";
    }
    ui::ShowMessageBox(owner_, text, MessageIcon::None);
}

void QtInteraction::PumpEvents() {
    QCoreApplication::processEvents();
}

std::optional<std::vector<std::string>> QtInteraction::ChooseImageFiles() {
    QFileDialog dialog(owner_);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(ImageFileFilters());
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles()) {
        paths.push_back(QFile::encodeName(file).toStdString());
    }
    return paths;
}

std::optional<Rgb> QtInteraction::ChooseColour(const Rgb& initial) {
    const QColor chosen = QColorDialog::getColor(
        QColor(initial.red & 0xFF, initial.green & 0xFF, initial.blue & 0xFF), owner_);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return Rgb{chosen.red(), chosen.green(), chosen.blue()};
}

std::optional<std::string> QtInteraction::ChooseFolder(const std::string& startFolder,
                                                       const std::string& title) {
    const QString folder = QFileDialog::getExistingDirectory(owner_, QString::fromStdString(title),
                                                             QFile::decodeName(startFolder.c_str()),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(folder).toStdString();
}

}  // namespace korvale
