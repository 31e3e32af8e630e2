// The main window: the file list with its statistics, the target values and presets, the
// method, format and folder, and the batch run. Its controls keep their template identifiers.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BatchOptions.h"
#include "ControlRules.h"
#include "DialogLayout.h"
#include "FileList.h"
#include "FileListHost.h"
#include "ListStatistics.h"
#include "Preset.h"
#include "PresetLocation.h"
#include "RunHost.h"
#include "UserInteraction.h"

class QLabel;
class QLineEdit;
class QComboBox;
class QProgressBar;
class QSlider;
class QAbstractButton;
class QScrollArea;

namespace korvale {

class CDropListCtrl;
class CMyGraph;
class CPreviewDlg;
class FileListModel;
class SettingsStore;

// Where the main window finds what lies outside it; tests replace every part.
struct KorvaleEnvironment {
    UserInteraction* ui = nullptr;                 // null: message boxes and dialogs on this window
    std::string applicationName;                   // names the settings store; empty: the program's
    std::string settingsFile;                      // an explicit settings file instead (tests)
    std::optional<PresetLocation> presetLocation;  // null: the user's data folder
    std::vector<std::string> commandLine;          // arguments after the program name
    // Runs the preset list editor on a copy; the edited list on OK.
    std::function<std::optional<PresetList>(QWidget*, const PresetList&, UserInteraction&)>
        editPresets;
    // The screen's area for windows; null: that of the screen the window opens on.
    std::optional<QRect> availableArea;
};

class CKorvaleDlg : public QDialog, public FileListHost, public BatchHost {
    Q_DECLARE_TR_FUNCTIONS(korvale::CKorvaleDlg)

public:
    using Environment = KorvaleEnvironment;

    explicit CKorvaleDlg(Environment environment = {});
    ~CKorvaleDlg() override;

    QWidget* Control(int id) const;
    template <typename T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }

    // FileListHost and BatchHost.
    void RefreshFileList() override;
    void UpdateControlStates(bool interactive) override;
    void SetStatusText(const std::string& text) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPosition(int position) override;
    void ShowFailedFiles(const std::vector<FailedFile>& failed) override;

    // Handlers, public so that tests and benchmarks can drive the window as a user would.
    void RegisterFiles(const std::vector<std::string>& batch);
    void AddFilesFromDialog();
    // Dropped or named paths: folders bring the image files inside them.
    void AddPaths(const std::vector<std::string>& paths);
    void AddFolderFromDialog();
    void RunBatch();
    void StopBatch() { running_ = false; }
    void CloseMainWindow();
    void CopyStatisticToTarget(const ArrowButton& button);
    void JpegQualityScrolled(int code, int position);
    void ChooseMarginColour();
    void BrowseOutputFolder();
    void OnSelchangePreset();
    void OnApplyPreset();
    void OnEditPresets();
    void OpenPreview();

    bool running() const { return running_; }
    const FileList& files() const { return files_; }
    const ListStatistics& statistics() const { return statistics_; }
    const BatchOptions& options() const { return options_; }
    const PresetList& presets() const { return presets_; }
    bool handOffDone() const { return handOffDone_; }
    // Whether the controls above the run's line scroll, the window being too small for them.
    bool scrolls() const { return scroller_ != nullptr; }
    CPreviewDlg* preview() const { return preview_; }

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override;  // Escape, the close box and button 2
    void accept() override;  // no default command: Enter does nothing

private:
    void CreateControls();
    // Size limits and place from the screen and the stored box, before the first show.
    void PlaceOnScreen();
    // Moves what lies above the run's line into a scroll area; the line and the buttons below
    // it stay at the window's bottom edge.
    void ScrollUpperPart();
    void PlaceControls();
    void ConnectControls();
    void ConnectPreview();
    void ConnectThumbnails();
    void LoadBatchOptions();
    void SaveBatchOptions();
    void StartupHandOff();
    void ExchangeOptionsToControls();
    bool ExchangeOptionsFromControls();
    OptionControls ReadControls() const;
    // The format radio for a SaveFormat, and the format of the checked one.
    static int FormatRadio(SaveFormat format);
    SaveFormat CheckedFormat() const;
    void ShowPresetValues(int index);
    void FillPresetCombo();
    void PaintSwatch(QPainter& painter, const QRect& rect);
    void ShowAbout();
    SettingsStore OpenSettings() const;
    void SchedulePreview();
    void UpdatePreview();
    void SelectListRow(size_t row);

    Environment environment_;
    std::unique_ptr<UserInteraction> ownInteraction_;
    UserInteraction* ui_ = nullptr;
    BatchOptions options_;
    FileList files_;
    ListStatistics statistics_;
    std::string presetFolder_;
    PresetList presets_;
    bool presetBackupPending_ = false;  // the file loaded with problems and is not yet kept
    bool running_ = false;
    std::string lastAddedFolder_;  // where the folder picker opens next
    bool handOffDone_ = false;
    bool placed_ = false;

    // The units that fit every text, and the window's size at the template's size in them.
    std::optional<ui::DialogUnits> units_;
    QSize templateSize_;
    int listGiveUp_ = 0;  // pixels the list may lose below its template's height
    QScrollArea* scroller_ = nullptr;
    QWidget* page_ = nullptr;  // the scrolled part

    // Controls the logic talks to directly.
    CDropListCtrl* list_ = nullptr;
    FileListModel* model_ = nullptr;
    QLabel* fileCount_ = nullptr;
    QLabel* statisticBoxes_[12] = {};
    QLineEdit* widthField_ = nullptr;
    QLineEdit* heightField_ = nullptr;
    QLineEdit* dpiField_ = nullptr;
    QLineEdit* folderField_ = nullptr;
    QComboBox* presetCombo_ = nullptr;
    QLabel* presetValues_[3] = {};
    QComboBox* interpolationList_ = nullptr;
    QComboBox* anchorList_ = nullptr;
    QComboBox* metadataList_ = nullptr;
    QComboBox* clashList_ = nullptr;
    std::vector<size_t> failedRows_;  // of the last run, selected once it has ended
    CMyGraph* swatch_ = nullptr;
    QSlider* qualitySlider_ = nullptr;
    QLabel* qualityNumber_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CPreviewDlg* preview_ = nullptr;  // made when first opened, then kept
    bool previewScheduled_ = false;
};

}  // namespace korvale
