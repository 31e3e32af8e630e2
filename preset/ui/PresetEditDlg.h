// The dialog in which the whole preset collection is edited: a list of the presets with buttons
// to add, edit, delete and move them, working on a copy that the caller takes back on OK.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "Preset.h"
#include "UserInteraction.h"

class QPushButton;
class QShowEvent;
class QTableWidget;

namespace korvale {

class CPresetItemEditDlg;

class CPresetEditDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPresetEditDlg(UserInteraction& ui, QWidget* parent = nullptr);

    // Filled by the caller before the run, read back after OK. Row i shows element i.
    PresetList workingList;

    // Runs the prepared item editor modally; true when it closed with OK. Replaceable so that
    // the item editor's answers can be scripted.
    std::function<bool(CPresetItemEditDlg&)> runItemEditor;

    void FillList();
    void UpdateButtons();
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnUp();
    void OnDown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetColumnWidths();
    void SetRow(int row);
    void RenumberFrom(int row);
    std::vector<int> SelectedRows() const;
    void Move(int direction);

    UserInteraction& ui_;
    QTableWidget* list_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* up_;
    QPushButton* down_;
};

// Runs the list editor on a copy of `current`; the edited list on OK, std::nullopt otherwise.
std::optional<PresetList> EditPresets(QWidget* parent, const PresetList& current,
                                      UserInteraction& ui);

}  // namespace korvale
