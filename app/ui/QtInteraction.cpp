// The interaction seam on Qt.
#include "QtInteraction.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QProgressDialog>
#include <QUrl>
#include <QWidget>

#include "ImageFormats.h"
#include "MessageBox.h"
#include "OverwriteDialog.h"
#include "RunHost.h"
#include "Words.h"

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

// Messages are said in the user's language (translations/Words.h).
void QtInteraction::ShowMessage(const Message& text, MessageIcon icon) {
    ui::ShowMessageBox(owner_, Words(text), icon);
}

void QtInteraction::ShowDetailedMessage(const Message& text, const Message& detail,
                                        MessageIcon icon) {
    ui::ShowMessageBox(owner_, Words(text), icon, Words(detail));
}

void QtInteraction::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtInteraction::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

OverwriteChoice QtInteraction::AskOverwrite(const Message& path) {
    COverwriteInQDlg dialog(Words(path), owner_);
    return static_cast<OverwriteChoice>(dialog.exec());
}

QtInteraction::QtInteraction(QWidget* owner, std::unique_ptr<DesktopNotifier> notifier)
    : owner_(owner), notifier_(notifier ? std::move(notifier) : MakeDBusNotifier()) {}

QtInteraction::~QtInteraction() = default;

bool QtInteraction::ShowRunCompleted(const Message& text, const RunSummary& summary) {
    return ui::ShowCompletionBox(owner_, Words(text), Words(RunCountsText(summary)));
}

void QtInteraction::OpenFolder(const std::string& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(folder.c_str())));
}

void QtInteraction::NotifyRunEnded(const Message& text, double seconds) {
    const bool elsewhere = owner_ == nullptr || !owner_->isActiveWindow();
    if (seconds > kNotifyAfterSeconds && elsewhere) {
        notifier_->Notify("Korvale", Words(text));
    }
}

bool QtInteraction::FolderWalkProgress(size_t found) {
    // A short walk runs under the wait cursor alone; a long one shows a dialog with 中止,
    // modal, so that nothing else in the window starts meanwhile.
    if (!walkClock_.isValid()) {
        walkClock_.start();
    }
    if (walkClock_.elapsed() < 400) {
        return true;
    }
    if (!walkProgress_) {
        // Shown only when the walk lasts; a busy bar, as the total is not known.
        walkProgress_ = std::make_unique<QProgressDialog>(owner_);
        walkProgress_->setWindowTitle(QStringLiteral("Korvale"));
        walkProgress_->setCancelButtonText(QStringLiteral("中止"));
        walkProgress_->setRange(0, 0);
        walkProgress_->setMinimumDuration(0);
        walkProgress_->setWindowModality(Qt::WindowModal);
        walkProgress_->setAutoClose(false);
        walkProgress_->setAutoReset(false);
    }
    walkProgress_->setLabelText(
        QStringLiteral("フォルダを調べています。画像ファイル %1 個").arg(found));
    walkProgress_->setValue(0);  // lets the dialog appear after its delay and take events
    QCoreApplication::processEvents();
    return !walkProgress_->wasCanceled();
}

void QtInteraction::EndFolderWalk() {
    walkProgress_.reset();
    walkClock_.invalidate();
}

bool QtInteraction::AskCreateFolder(const std::string& folder) {
    return ui::AskYesNo(owner_, Words(FolderCreationQuestion(folder)));
}

void QtInteraction::ReportDamagedSources(const std::vector<std::string>& paths) {
    // One message however many files; a long list is cut so that the box fits the screen.
    constexpr size_t kShown = 20;
    Message text = Message(MessageId::DamagedSources) + "\n";
    for (size_t i = 0; i < paths.size() && i < kShown; ++i) {
        text += "\n" + paths[i];
    }
    if (paths.size() > kShown) {
        text += "\n" + Message(MessageId::MoreDamaged,
                               {Number(static_cast<long long>(paths.size() - kShown))});
    }
    ui::ShowMessageBox(owner_, Words(text), MessageIcon::None);
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
