// The overwrite question.
#include "OverwriteDialog.h"

#include <QLabel>
#include <QPushButton>

#include "DialogLayout.h"
#include "UserInteraction.h"

namespace korvale {

COverwriteInQDlg::COverwriteInQDlg(const std::string& path, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("上書き確認"));
    const ui::DialogUnits units = ui::PrepareDialog(this, 246, 74);

    // Template order is tab order: Cancel first, so it holds the focus when the dialog opens.
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    ui::SetControlId(cancel_, static_cast<int>(OverwriteChoice::Cancel));
    ui::Place(cancel_, units, 182, 54, 56, 16);
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &COverwriteInQDlg::reject);

    auto* question = new QLabel(QStringLiteral("すでに同じ名前のファイルが存在します。"), this);
    ui::Place(question, units, 8, 8, 172, 10);

    // Zero-width spaces after each "/" let a long path wrap at its separators.
    auto* pathLabel = new QLabel(
        QString::fromStdString(path).replace(QLatin1Char('/'), QStringLiteral("/\u200B")), this);
    ui::SetControlId(pathLabel, 1028);
    pathLabel->setWordWrap(true);
    pathLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::Place(pathLabel, units, 8, 22, 230, 30);

    const struct {
        const char* text;
        OverwriteChoice choice;
        int x;
    } buttons[] = {{"上書き", OverwriteChoice::Overwrite, 8},
                   {"全て上書き", OverwriteChoice::OverwriteAll, 66},
                   {"スキップ", OverwriteChoice::Skip, 124}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.text), this);
        ui::SetControlId(button, static_cast<int>(b.choice));
        ui::Place(button, units, b.x, 54, 56, 16);
        button->setAutoDefault(false);
        const int result = static_cast<int>(b.choice);
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    }
    cancel_->setFocus();
}

void COverwriteInQDlg::reject() {
    done(static_cast<int>(OverwriteChoice::Cancel));
}

}  // namespace korvale
