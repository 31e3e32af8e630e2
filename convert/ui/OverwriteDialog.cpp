// The overwrite question.
#include "OverwriteDialog.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "DialogLayout.h"
#include "UserInteraction.h"

namespace korvale {
namespace {

// The template's room for the path, in dialog units.
constexpr int kPathWidth = 230;
constexpr int kPathHeight = 30;
// The template's 246 units, widened for 「全てスキップ」 right of the described buttons.
constexpr int kDialogWidth = 312;

struct WrappedPath {
    QStringList lines;
    int fileNameLines = 0;  // the last lines, which hold the file name
};

// Breaks a path into lines no wider than `width`: after a "/" where possible, anywhere inside
// a name too long for a line of its own.
WrappedPath WrapPath(const QString& path, const QFontMetrics& metrics, int width) {
    QStringList parts;
    for (qsizetype start = 0; start < path.size();) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'), start);
        const qsizetype end = slash < 0 ? path.size() : slash + 1;
        parts << path.mid(start, end - start);
        start = end;
    }
    WrappedPath wrapped;
    QString line;
    for (qsizetype p = 0; p < parts.size(); ++p) {
        const bool fileName = p == parts.size() - 1;
        if (fileName && !line.isEmpty() && metrics.horizontalAdvance(line + parts[p]) > width) {
            wrapped.lines << line;  // the file name starts a line of its own
            line.clear();
        }
        const int linesBefore = static_cast<int>(wrapped.lines.size());
        if (!fileName && !line.isEmpty() && metrics.horizontalAdvance(line + parts[p]) > width) {
            wrapped.lines << line;
            line.clear();
        }
        for (const QChar c : parts[p]) {
            if (!line.isEmpty() && metrics.horizontalAdvance(line + c) > width) {
                wrapped.lines << line;
                line.clear();
            }
            line += c;
        }
        if (fileName) {
            wrapped.fileNameLines = static_cast<int>(wrapped.lines.size()) - linesBefore + 1;
        }
    }
    if (!line.isEmpty() || wrapped.lines.isEmpty()) {
        wrapped.lines << line;
    }
    wrapped.fileNameLines = std::max(wrapped.fileNameLines, 1);
    return wrapped;
}

// Keeps the file name whole and drops folder lines from the middle, marked by "…".
QStringList ElideFolders(const WrappedPath& wrapped, int maxLines) {
    const int total = static_cast<int>(wrapped.lines.size());
    if (total <= maxLines) {
        return wrapped.lines;
    }
    const int folderLines = total - wrapped.fileNameLines;
    const int keepFolders = std::clamp(maxLines - wrapped.fileNameLines - 1, 0, folderLines);
    const int head = (keepFolders + 1) / 2;
    const int tail = keepFolders - head;
    QStringList lines = wrapped.lines.mid(0, head);
    lines << QStringLiteral("…");
    lines << wrapped.lines.mid(folderLines - tail);
    return lines;
}

}  // namespace

COverwriteInQDlg::COverwriteInQDlg(const std::string& path, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(tr("上書き確認"));
    const ui::DialogUnits templateUnits = ui::PrepareDialog(this, kDialogWidth, 74);

    // Template order is tab order: Cancel first, so it holds the focus when the dialog opens.
    cancel_ = new QPushButton(tr("キャンセル"), this);
    ui::SetControlId(cancel_, static_cast<int>(OverwriteChoice::Cancel));
    ui::Place(cancel_, templateUnits, 182, 54, 56, 16);
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &COverwriteInQDlg::reject);

    auto* question = new QLabel(tr("すでに同じ名前のファイルが存在します。"), this);
    ui::Place(question, templateUnits, 8, 8, 172, 10);

    // The path is wrapped below, in the units that fit the fixed texts.
    auto* pathLabel = new QLabel(this);
    ui::SetControlId(pathLabel, 1028);
    pathLabel->setTextFormat(Qt::PlainText);
    pathLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const struct {
        const char* text;
        OverwriteChoice choice;
        int x;
    } buttons[] = {
        {QT_TRANSLATE_NOOP("korvale::COverwriteInQDlg", "上書き"), OverwriteChoice::Overwrite, 8},
        {QT_TRANSLATE_NOOP("korvale::COverwriteInQDlg", "全て上書き"),
         OverwriteChoice::OverwriteAll, 66},
        {QT_TRANSLATE_NOOP("korvale::COverwriteInQDlg", "スキップ"), OverwriteChoice::Skip, 124},
        {QT_TRANSLATE_NOOP("korvale::COverwriteInQDlg", "全てスキップ"), OverwriteChoice::SkipAll,
         240}};
    std::vector<QPushButton*> moved = {cancel_};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(tr(b.text), this);
        ui::SetControlId(button, static_cast<int>(b.choice));
        ui::Place(button, templateUnits, b.x, 54, b.choice == OverwriteChoice::SkipAll ? 64 : 56,
                  16);
        button->setAutoDefault(false);
        const int result = static_cast<int>(b.choice);
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        moved.push_back(button);
    }
    const ui::DialogUnits units = ui::FitDialog(this, templateUnits, kDialogWidth, 74);

    // A path that does not fit the template's three lines widens the dialog, then makes it
    // taller, up to a part of the screen; beyond that folders are left out of the middle, so
    // the file name always shows in full and nothing runs behind the buttons.
    const QString fullPath = QString::fromStdString(path);
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.lineSpacing();
    const int baseWidth = units.X(kPathWidth);
    const int baseLines = std::max(1, units.Y(kPathHeight) / lineHeight);
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen != nullptr ? screen->availableGeometry().size() : QSize(800, 600);
    const int maxExtraWidth = std::max(0, room.width() * 2 / 3 - width());
    const int maxExtraHeight = std::max(0, room.height() / 2 - height());

    int extraWidth = 0;
    WrappedPath wrapped = WrapPath(fullPath, metrics, baseWidth);
    while (wrapped.lines.size() > baseLines && extraWidth < maxExtraWidth) {
        extraWidth = std::min(maxExtraWidth, extraWidth + baseWidth / 4);
        wrapped = WrapPath(fullPath, metrics, baseWidth + extraWidth);
    }
    const int maxLines =
        std::max(baseLines + maxExtraHeight / lineHeight, wrapped.fileNameLines + 1);
    const QStringList lines = ElideFolders(wrapped, maxLines);
    const int extraHeight =
        std::max(0, static_cast<int>(lines.size()) * lineHeight - units.Y(kPathHeight));
    if (extraWidth > 0 || extraHeight > 0) {
        setFixedSize(width() + extraWidth, height() + extraHeight);
    }
    pathLabel->setText(lines.join(QLatin1Char('\n')));
    pathLabel->setGeometry(
        units.Rect(8, 22, kPathWidth, kPathHeight).adjusted(0, 0, extraWidth, extraHeight));
    if (lines.size() < wrapped.lines.size()) {
        pathLabel->setToolTip(fullPath);
    }
    for (QPushButton* button : moved) {
        button->move(button->pos() + QPoint(extraWidth, extraHeight));
    }
    cancel_->setFocus();
}

void COverwriteInQDlg::reject() {
    done(static_cast<int>(OverwriteChoice::Cancel));
}

}  // namespace korvale
