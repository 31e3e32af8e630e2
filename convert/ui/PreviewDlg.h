// The preview window: the selected file as the run will write it, the plan line under it and
// one button for each of the batch's most extreme files. Not modal: it follows the main window's
// options while the user changes them. Decoding and conversion run on a worker thread.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QImage>
#include <QThreadPool>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Plan.h"
#include "PlanSummary.h"

class QLabel;
class QPushButton;

namespace korvale {

class PreviewCanvas;
struct PreviewSource;

// What one refresh needs; the worker gets a copy.
struct PreviewJob {
    std::string path;
    BatchRequest request;
    FilePlan plan;
};

class CPreviewDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvale::CPreviewDlg)

public:
    explicit CPreviewDlg(QWidget* parent);
    ~CPreviewDlg() override;

    // Starts a refresh; a refresh still running is finished but its picture is dropped.
    void Request(PreviewJob job);
    // A text instead of a picture (no file, a refused field); drops any refresh under way.
    void ShowText(const std::string& text);
    // The outlier buttons; `plans` give their tooltips.
    void SetOutliers(const PlanOutliers& outliers, const std::vector<FilePlan>& plans);
    // Forgets the decoded source, so that a file changed on disk is read again.
    void ForgetSource();

    // The list row an outlier button names, when it is clicked.
    std::function<void(size_t row)> onOutlierPicked;
    // The picture's room changed size.
    std::function<void()> onResized;

    // For tests and benchmarks: the refreshes finished and shown, and whether one is under way.
    uint64_t shownCount() const { return shownCount_; }
    bool busy() const { return busy_; }
    QString planText() const;
    QImage picture() const;
    QPushButton* outlierButton(int index) const { return outlierButtons_[index]; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Result;
    void Start(PreviewJob job, uint64_t generation);
    void Finished(const std::shared_ptr<Result>& result);

    QLabel* line_ = nullptr;
    PreviewCanvas* canvas_ = nullptr;
    QPushButton* outlierButtons_[4] = {};
    std::optional<size_t> outlierRows_[4];
    QThreadPool pool_;
    uint64_t generation_ = 0;
    bool busy_ = false;
    std::optional<std::pair<PreviewJob, uint64_t>> pending_;
    std::shared_ptr<const PreviewSource> source_;  // touched by the worker only while busy_
    uint64_t shownCount_ = 0;
};

}  // namespace korvale
