// The dialog in which one preset is entered or changed: name, pixels and DPI, with helpers that
// compute the pixels from a size in millimetres or a standard paper.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "PresetEditing.h"
#include "UserInteraction.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QShowEvent;

namespace korvale {

class ByteLimitValidator;

class CPresetItemEditDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPresetItemEditDlg(UserInteraction& ui, QWidget* parent = nullptr);

    // Set by the caller before the run and read back after OK; untouched by Cancel. `width` and
    // `height` hide QWidget::width() and height(), which this class does not use.
    std::string name;
    uint32_t width = 2480;  // A4 at 300 DPI
    uint32_t height = 3508;
    uint32_t dpi = 300;
    bool addMode = false;

    // Millimetres and the calculation DPI to pixels.
    void OnApplyMm();
    // The chosen paper to millimetres, in the chosen orientation.
    void OnApplyPaper();
    // Checks the fields and closes with OK, or says what to correct and stays open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Runs at every show, as the caller sets the members between construction and run.
    void InitDialog();
    void Refuse(const PresetFieldError& error);

    UserInteraction& ui_;
    QLineEdit* nameEdit_;
    QLineEdit* widthEdit_;
    QLineEdit* heightEdit_;
    QLineEdit* dpiEdit_;
    QLineEdit* mmWidthEdit_;
    QLineEdit* mmHeightEdit_;
    QComboBox* calcDpiBox_;
    QComboBox* paperBox_;
    QRadioButton* portrait_;
    QRadioButton* landscape_;
    ByteLimitValidator* nameLimit_;
};

}  // namespace korvale
