// The preset list editor: its template, the list view and the operations on the working list.
#include "PresetEditDlg.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>

#include "DialogLayout.h"
#include "PresetEditing.h"
#include "PresetItemEditDlg.h"

namespace korvale {
namespace {

constexpr int kColumnCount = 5;
const char* const kHeadings[kColumnCount] = {
    "No.", QT_TRANSLATE_NOOP("korvale::CPresetEditDlg", "プリセット名"),
    QT_TRANSLATE_NOOP("korvale::CPresetEditDlg", "幅(dot)"),
    QT_TRANSLATE_NOOP("korvale::CPresetEditDlg", "高さ(dot)"), "DPI"};

QString FullListReason() {
    return QCoreApplication::translate("korvale::CPresetEditDlg",
                                       "プリセットは %1 個までです。追加するには、先に不要なプリセ"
                                       "ットを削除してください。")
        .arg(kPresetLoadLimit);
}

}  // namespace

CPresetEditDlg::CPresetEditDlg(UserInteraction& ui, QWidget* parent)
    : QDialog(parent),
      runItemEditor([](CPresetItemEditDlg& dialog) { return dialog.exec() == QDialog::Accepted; }),
      ui_(ui) {
    const ui::DialogUnits units = ui::PrepareDialog(this, 308, 186);
    setWindowTitle(tr("プリセット編集"));

    // Created in template order, which is also the tab order.
    QPushButton* ok = ui::AddButton(this, units, 1, "OK", 198, 164, 50, 18);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CPresetEditDlg::accept);
    QPushButton* cancel = ui::AddButton(this, units, 2, tr("キャンセル"), 252, 164, 50, 18);
    connect(cancel, &QPushButton::clicked, this, &CPresetEditDlg::reject);

    list_ = new QTableWidget(0, kColumnCount, this);
    ui::SetControlId(list_, 1047);
    ui::Place(list_, units, 6, 6, 252, 152);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the buttons; the arrow keys move the selection.
    list_->setTabKeyNavigation(false);
    list_->setSortingEnabled(false);
    list_->setWordWrap(false);
    QHeaderView* rows = list_->verticalHeader();
    rows->hide();
    // Rows as tall as a line of text, as in a report list, not the roomier item-view default.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < kColumnCount; ++column) {
        list_->setHorizontalHeaderItem(column, new QTableWidgetItem(tr(kHeadings[column])));
    }
    // The selection stays visible while another control has the focus.
    QPalette palette = list_->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list_->setPalette(palette);
    SetColumnWidths();
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CPresetEditDlg::UpdateButtons);

    add_ = ui::AddButton(this, units, 1048, tr("追加..."), 260, 6, 42, 18);
    edit_ = ui::AddButton(this, units, 1049, tr("編集..."), 260, 26, 42, 18);
    delete_ = ui::AddButton(this, units, 1032, tr("削除"), 260, 46, 42, 18);
    up_ = ui::AddButton(this, units, 1033, tr("上へ"), 260, 66, 42, 18);
    down_ = ui::AddButton(this, units, 1034, tr("下へ"), 260, 86, 42, 18);
    connect(add_, &QPushButton::clicked, this, &CPresetEditDlg::OnAdd);
    connect(edit_, &QPushButton::clicked, this, &CPresetEditDlg::OnEdit);
    connect(delete_, &QPushButton::clicked, this, &CPresetEditDlg::OnDelete);
    connect(up_, &QPushButton::clicked, this, &CPresetEditDlg::OnUp);
    connect(down_, &QPushButton::clicked, this, &CPresetEditDlg::OnDown);
    ui::FitDialog(this, units, 308, 186, [this] { SetColumnWidths(); });
}

void CPresetEditDlg::SetColumnWidths() {
    // Room is kept for the vertical scroll bar, so the columns fit once it appears.
    const int w = list_->contentsRect().width() -
                  list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
    const int widths[kColumnCount] = {w / 10, w - 2 * (w / 6) - w / 8 - w / 10, w / 6, w / 6,
                                      w / 8};
    for (int column = 0; column < kColumnCount; ++column) {
        list_->setColumnWidth(column, widths[column]);
    }
}

void CPresetEditDlg::showEvent(QShowEvent* event) {
    // The caller fills the working list between construction and run.
    if (!event->spontaneous()) {
        FillList();
        UpdateButtons();
    }
    QDialog::showEvent(event);
}

void CPresetEditDlg::SetRow(int row) {
    const Preset& preset = workingList[static_cast<size_t>(row)];
    const QString texts[kColumnCount] = {
        QString::number(row + 1), QString::fromStdString(preset.name),
        QString::number(preset.width), QString::number(preset.height), QString::number(preset.dpi)};
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* item = list_->item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            list_->setItem(row, column, item);
        }
        item->setText(texts[column]);
    }
}

void CPresetEditDlg::RenumberFrom(int row) {
    for (int r = row; r < list_->rowCount(); ++r) {
        list_->item(r, 0)->setText(QString::number(r + 1));
    }
}

std::vector<int> CPresetEditDlg::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CPresetEditDlg::FillList() {
    list_->setRowCount(0);
    list_->setRowCount(static_cast<int>(workingList.size()));
    for (int row = 0; row < list_->rowCount(); ++row) {
        SetRow(row);
    }
}

void CPresetEditDlg::UpdateButtons() {
    const std::vector<int> rows = SelectedRows();
    const ListButtons buttons = ListButtonsFor(static_cast<int>(rows.size()),
                                               rows.empty() ? -1 : rows.front(), list_->rowCount());
    // A button that disables itself would hand the focus on along the chain, up to OK, where
    // the next Space would close the editor; the list takes it instead.
    const std::pair<QPushButton*, bool> states[] = {{add_, buttons.add},
                                                    {edit_, buttons.edit},
                                                    {delete_, buttons.remove},
                                                    {up_, buttons.up},
                                                    {down_, buttons.down}};
    for (const auto& [button, enabled] : states) {
        if (!enabled && button == focusWidget()) {
            list_->setFocus(Qt::OtherFocusReason);
        }
    }
    add_->setEnabled(buttons.add);
    add_->setToolTip(buttons.add ? QString() : FullListReason());
    edit_->setEnabled(buttons.edit);
    delete_->setEnabled(buttons.remove);
    up_->setEnabled(buttons.up);
    down_->setEnabled(buttons.down);
}

void CPresetEditDlg::OnAdd() {
    // The next start reads back only so many presets; more would be lost there.
    if (!CanAddPreset(workingList)) {
        UpdateButtons();
        return;
    }
    CPresetItemEditDlg editor(ui_, this);
    editor.addMode = true;
    if (!runItemEditor(editor)) {
        return;
    }
    const std::vector<int> rows = SelectedRows();
    const int at = InsertPresetBefore(workingList, rows.empty() ? -1 : rows.front(),
                                      Preset{editor.name, editor.width, editor.height, editor.dpi});
    // Rows below shift down with their selection; the new row is not selected.
    list_->insertRow(at);
    SetRow(at);
    RenumberFrom(at + 1);
    UpdateButtons();
}

void CPresetEditDlg::OnEdit() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    const int row = rows.front();
    Preset& preset = workingList[static_cast<size_t>(row)];
    CPresetItemEditDlg editor(ui_, this);
    editor.name = preset.name;
    editor.width = preset.width;
    editor.height = preset.height;
    editor.dpi = preset.dpi;
    if (!runItemEditor(editor)) {
        return;
    }
    preset = Preset{editor.name, editor.width, editor.height, editor.dpi};
    SetRow(row);
}

void CPresetEditDlg::OnDelete() {
    RemovePresets(workingList, SelectedRows());
    FillList();
    UpdateButtons();
}

void CPresetEditDlg::OnUp() {
    Move(-1);
}

void CPresetEditDlg::OnDown() {
    Move(+1);
}

void CPresetEditDlg::Move(int direction) {
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty() && SwapWithNeighbour(workingList, rows.front(), direction)) {
        const int from = rows.front();
        const int to = from + direction;
        SetRow(from);
        SetRow(to);
        // The selection follows the moved preset.
        QItemSelectionModel* selection = list_->selectionModel();
        selection->select(list_->model()->index(from, 0),
                          QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        selection->setCurrentIndex(list_->model()->index(to, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    UpdateButtons();
}

std::optional<PresetList> EditPresets(QWidget* parent, const PresetList& current,
                                      UserInteraction& ui) {
    CPresetEditDlg dialog(ui, parent);
    dialog.workingList = current;
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return std::move(dialog.workingList);
}

}  // namespace korvale
