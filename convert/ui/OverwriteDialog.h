// The question asked when an output file exists: overwrite, overwrite all, skip, cancel or
// skip all. The dialog ends with the identifier of the button chosen (an OverwriteChoice value).
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <string>

class QPushButton;

namespace korvale {

class COverwriteInQDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvale::COverwriteInQDlg)

public:
    COverwriteInQDlg(const std::string& path, QWidget* parent = nullptr);

    // Cancel, Escape and the close box all end the dialog with Cancel (2).
    void reject() override;

    QPushButton* cancelButton() const { return cancel_; }

private:
    QPushButton* cancel_;
};

}  // namespace korvale
