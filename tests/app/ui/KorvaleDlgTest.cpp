// The main window driven as a user drives it, with scripted answers: start-up, the enabling
// rules, the arrow buttons and the slider, presets, closing, and whole runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "AboutDlg.h"
#include "FocusChain.h"
#include "ImageEngine.h"
#include "ImageHeader.h"
#include "KorvaleDlg.h"
#include "MessageWords.h"
#include "PreviewDlg.h"
#include "QtInteraction.h"
#include "RecordingInteraction.h"
#include "RunHost.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

const int kArrows[] = {1048, 1049, 1050, 1051, 1029, 1030, 1031, 1052, 1043, 1044, 1045, 1054};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        fs::create_directories(home_.File("pick"));
        fs::create_directories(home_.File("data"));
        fs::create_directories(home_.File("out"));
        WriteText(home_.File("data/KVPreset.csv"),
                  "\"A4 300dpi\",2480,3508,300\n\"Small\",640,480,72\n");
    }

    static void WriteText(const std::string& path, const std::string& text) {
        test::WriteFile(path, test::Bytes(text.begin(), text.end()));
    }
    std::string Image(const std::string& name, int width, int height) {
        const std::string path = home_.File(name);
        EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(9, 99, 199))));
        return path;
    }
    std::string SettingsText() const {
        const test::Bytes bytes = test::ReadFile(settings_);
        return std::string(bytes.begin(), bytes.end());
    }

    // Builds the window, shows it and lets the start-up hand-off run.
    CKorvaleDlg& Open(std::vector<std::string> commandLine = {}) {
        KorvaleEnvironment environment;
        environment.ui = &ui_;
        environment.settingsFile = settings_;
        environment.presetLocation = PresetLocation{home_.File("data"), {}};
        environment.commandLine = std::move(commandLine);
        // A screen that holds the whole window; smaller ones are tested on their own.
        environment.availableArea = QRect(0, 0, 4000, 3000);
        environment.editPresets = [this](QWidget*, const PresetList& current, UserInteraction&) {
            editorSaw_ = current;
            return editorAnswer_;
        };
        window_ = std::make_unique<CKorvaleDlg>(std::move(environment));
        window_->show();
        QApplication::setActiveWindow(window_.get());
        QCoreApplication::processEvents();
        return *window_;
    }
    bool Enabled(int id) const { return window_->Control(id)->isEnabled(); }
    void Click(int id) const {
        QTest::mouseClick(window_->ControlAs<QAbstractButton>(id), Qt::LeftButton);
    }
    QString Text(int id) const {
        if (auto* edit = window_->ControlAs<QLineEdit>(id)) {
            return edit->text();
        }
        return window_->ControlAs<QLabel>(id)->text();
    }
    void SetText(int id, const char* text) const {
        window_->ControlAs<QLineEdit>(id)->setText(QString::fromUtf8(text));
    }

    test::TempDir home_;
    const std::string settings_ = home_.File("korvale.conf");
    test::RecordingInteraction ui_;
    std::optional<PresetList> editorAnswer_;
    PresetList editorSaw_;
    std::unique_ptr<CKorvaleDlg> window_;
};

TEST_F(MainWindowTest, StartsWithTheStoredOptionsShownAfterTheHandOff) {
    WriteText(settings_,
              "[Settings]\nSizeX=1000\nSizeY=31\nDPI=0\nApplySizeY=0\nMode=2\nIP=7\nCrop=2\n"
              "Preset=1\nFormat=1\nJQ=80\nFolder=/out\n");
    KorvaleEnvironment environment;
    environment.ui = &ui_;
    environment.settingsFile = settings_;
    environment.presetLocation = PresetLocation{home_.File("data"), {}};
    CKorvaleDlg window(std::move(environment));
    // Until the hand-off the fields show the defaults.
    EXPECT_EQ(window.ControlAs<QLineEdit>(1007)->text(), "2480");
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.ControlAs<QLineEdit>(1007)->text(), "1000");
    EXPECT_EQ(window.ControlAs<QLineEdit>(1008)->text(), "3508");  // 31 is out of range
    EXPECT_EQ(window.ControlAs<QLineEdit>(1020)->text(), "0");
    EXPECT_EQ(window.ControlAs<QLineEdit>(1015)->text(), "/out");
    EXPECT_FALSE(window.ControlAs<QCheckBox>(1058)->isChecked());
    EXPECT_TRUE(window.ControlAs<QRadioButton>(1025)->isChecked());
    EXPECT_EQ(window.ControlAs<QComboBox>(1022)->currentText(), "Lanczos4");
    EXPECT_EQ(window.ControlAs<QComboBox>(1026)->currentText(), "右上");
    EXPECT_EQ(window.ControlAs<QComboBox>(1034)->currentText(), "Small");
    EXPECT_EQ(window.ControlAs<QLabel>(1060)->text(), "640 ");
    EXPECT_EQ(window.ControlAs<QLabel>(1062)->text(), "72 ");
    EXPECT_TRUE(window.ControlAs<QRadioButton>(1038)->isChecked());
    EXPECT_EQ(window.ControlAs<QSlider>(1046)->value(), 80);
    EXPECT_EQ(window.ControlAs<QLabel>(1047)->text(), "80 ");
    EXPECT_EQ(window.ControlAs<QLabel>(1011)->text(), "0 ");
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(window.windowTitle(), "Korvale");
    // The close button holds the focus; no other button is a default one that Enter in a
    // field would press.
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(window.focusWidget(), window.Control(2));
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        EXPECT_EQ(button->isDefault(), button == window.Control(2))
            << button->objectName().toStdString();
    }
}

// Enlarged, the list takes the room (its name column the width); what lies right of it or below
// it keeps its distance to that edge; the size and place come back at the next start.
TEST_F(MainWindowTest, GrowsWithTheListTakingTheRoomAndRemembersItsBox) {
    CKorvaleDlg& window = Open();
    const QSize smallest = window.minimumSize();
    EXPECT_EQ(window.size(), smallest);
    auto* list = window.ControlAs<QTableView>(1012);
    const QRect listBefore = list->geometry();
    const int nameBefore = list->columnWidth(1);
    const int sizeBefore = list->columnWidth(2);
    const int ids[] = {1000, 1064, 1011, 1013, 2, 1015, 1046};
    std::vector<QRect> before;
    for (int id : ids) {
        before.push_back(window.Control(id)->geometry());
    }
    window.resize(smallest + QSize(200, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(list->geometry(), listBefore.adjusted(0, 0, 200, 100));
    EXPECT_EQ(list->columnWidth(1), nameBefore + 200);
    EXPECT_EQ(list->columnWidth(2), sizeBefore);
    const QPoint moved[] = {{200, 0}, {200, 0}, {200, 0}, {0, 100}, {0, 100}, {0, 100}, {0, 100}};
    for (size_t i = 0; i < std::size(ids); ++i) {
        EXPECT_EQ(window.Control(ids[i])->geometry(), before[i].translated(moved[i]))
            << "control " << ids[i];
    }
    const QRect box = window.geometry();
    Click(2);
    EXPECT_NE(SettingsText().find("WindowWidth=" + std::to_string(box.width()) + "\n"),
              std::string::npos)
        << SettingsText();
    CKorvaleDlg& again = Open();
    EXPECT_EQ(again.size(), box.size());
    EXPECT_EQ(again.minimumSize(), smallest);
}

TEST_F(MainWindowTest, StoredSwitchesSurviveAStartWithFiles) {
    const struct {
        const char* stored;
        bool keep, width, height, dpi;
    } cases[] = {
        {"ApplySizeY=0\n", false, true, false, true},
        {"HoldAspect=1\nApplySizeX=0\nApplySizeY=0\nApplyDPI=0\n", true, false, false, false},
        {"", false, true, true, true},
    };
    const std::string image = Image("a.bmp", 40, 30);
    for (const auto& c : cases) {
        for (const bool withFiles : {false, true}) {
            WriteText(settings_, std::string("[Settings]\n") + c.stored);
            Open(withFiles ? std::vector<std::string>{image} : std::vector<std::string>{});
            const std::string where = std::string(c.stored) + (withFiles ? " with a file" : "");
            EXPECT_EQ(window_->files().size(), withFiles ? 1u : 0u) << where;
            EXPECT_EQ(window_->ControlAs<QCheckBox>(1055)->isChecked(), c.keep) << where;
            EXPECT_EQ(window_->ControlAs<QCheckBox>(1057)->isChecked(), c.width) << where;
            EXPECT_EQ(window_->ControlAs<QCheckBox>(1058)->isChecked(), c.height) << where;
            EXPECT_EQ(window_->ControlAs<QCheckBox>(1059)->isChecked(), c.dpi) << where;
            EXPECT_EQ(Enabled(1008), c.height) << where;
            Click(2);
            const std::string saved = SettingsText();
            for (const auto& [key, on] : {std::pair{"HoldAspect=", c.keep},
                                          {"ApplySizeX=", c.width},
                                          {"ApplySizeY=", c.height},
                                          {"ApplyDPI=", c.dpi}}) {
                EXPECT_NE(saved.find(key + std::string(on ? "1" : "0") + "\n"), std::string::npos)
                    << where << ": " << saved;
            }
        }
    }
}

TEST_F(MainWindowTest, TabWalksEveryControlInTemplateOrderAndLeavesTheList) {
    Open({Image("a.bmp", 40, 30), Image("b.bmp", 50, 30)});
    window_->ControlAs<QCheckBox>(1055)->click();  // the margin group becomes usable
    auto* list = qobject_cast<QTableView*>(window_->Control(1012));
    list->selectRow(0);
    window_->Control(2)->setFocus();
    // The checked radio button of each group stands for its group; 1014 is disabled.
    const std::vector<int> forward = {
        1012, 1000, kAddFolderId, 1032, 1033, 1063, 1064, 1048, 1049, 1050, 1051, 1029, 1030, 1031,
        1052, 1043, 1044,         1045, 1054, 1057, 1007, 1058, 1008, 1059, 1020, 1034, 1035, 1036,
        1024, 1022, 1055,         1026, 1028, 1039, 1046, 1066, 1015, 1016, 1013, 1069, 2};
    EXPECT_EQ(test::TabChain(window_.get(), forward.size()), test::Chain(forward));
    std::vector<int> backward(forward.rbegin() + 1, forward.rend());
    backward.push_back(2);
    EXPECT_EQ(test::TabChain(window_.get(), backward.size(), true), test::Chain(backward));
    // In the list the arrow keys move the selection; Tab leaves it and keeps the selection.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list->currentIndex().row(), 1);
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(window_->focusWidget(), window_->Control(1000));
    EXPECT_EQ(list->currentIndex().row(), 1);
    // In a radio group the arrow keys move the choice, and Tab then stops at the new choice.
    window_->Control(1039)->setFocus();
    QTest::keyClick(window_->Control(1039), Qt::Key_Up);
    EXPECT_TRUE(window_->ControlAs<QRadioButton>(1038)->isChecked());
    EXPECT_EQ(test::TabChain(window_.get(), 2, true), "1028 1026");
    EXPECT_EQ(test::TabChain(window_.get(), 2), "1028 1038");
}

TEST_F(MainWindowTest, RemovalButtonThatDisablesItselfHandsTheFocusToTheList) {
    const struct {
        int button;
        int files;
        size_t left;
    } cases[] = {{1032, 3, 2}, {1033, 3, 0}, {1063, 1, 0}, {1064, 2, 1}};
    for (const auto& c : cases) {
        std::vector<std::string> paths;
        for (int i = 0; i < c.files; ++i) {
            paths.push_back(Image("f" + std::to_string(i) + ".bmp", 40, 30));
        }
        Open(paths);
        qobject_cast<QTableView*>(window_->Control(1012))->selectRow(0);
        window_->Control(c.button)->setFocus();
        QTest::keyClick(window_->Control(c.button), Qt::Key_Space);
        ASSERT_FALSE(Enabled(c.button)) << c.button;
        EXPECT_EQ(window_->focusWidget(), window_->Control(1012)) << c.button;
        // A second Space in the list removes nothing more.
        QTest::keyClick(window_->focusWidget(), Qt::Key_Space);
        EXPECT_EQ(window_->files().size(), c.left) << c.button;
    }
}

TEST_F(MainWindowTest, FocusReturnsToRunWhenARunEndsAndEnterDoesNotClose) {
    const std::string out = home_.File("out");
    const struct {
        const char* name;
        std::function<void()> prepare;
        const char* message;  // how the only message begins, if any
    } cases[] = {
        {"completed", [] {}, "完了"},
        {"stopped",
         [this] {
             ui_.onPump = [this](int) {
                 window_->Control(1014)->setFocus();
                 QTest::keyClick(window_->Control(1014), Qt::Key_Space);
             };
         },
         nullptr},
        {"cancelled",
         [this, out] {
             test::WriteFile(out + "/a.jpg", {'o', 'l', 'd'});
             ui_.overwriteAnswers = {OverwriteChoice::Cancel};
         },
         nullptr},
        {"failed", [this] { fs::remove(home_.File("a.jpg")); }, "画像ファイルの読み出しに失敗"},
    };
    for (const auto& c : cases) {
        fs::remove_all(out);
        fs::create_directories(out);
        ui_.messages.clear();
        Open({Image("a.jpg", 40, 30)});
        SetText(1015, out.c_str());
        c.prepare();
        window_->Control(1013)->setFocus();
        QTest::keyClick(window_->Control(1013), Qt::Key_Space);
        ASSERT_EQ(ui_.messages.size(), c.message != nullptr ? 1u : 0u) << c.name;
        if (c.message != nullptr) {
            EXPECT_EQ(ui_.messages[0].text.rfind(c.message, 0), 0u) << ui_.messages[0].text;
        }
        EXPECT_FALSE(window_->running()) << c.name;
        EXPECT_EQ(window_->focusWidget(), window_->Control(1013)) << c.name;
        for (QPushButton* button : window_->findChildren<QPushButton*>()) {
            EXPECT_EQ(button->isDefault(), button == window_->Control(1013))
                << c.name << " " << button->objectName().toStdString();
        }
        ui_.onPump = nullptr;
        QTest::keyClick(window_->focusWidget(), Qt::Key_Return);  // runs again, never closes
        EXPECT_TRUE(window_->isVisible()) << c.name;
    }
}

TEST_F(MainWindowTest, FilesConvertedInPlaceShowWhatTheyAreNow) {
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 50, 20)});
    SetText(1007, "64");
    SetText(1008, "48");
    SetText(1020, "300");
    SetText(1015, home_.path().c_str());
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    Click(1013);
    ASSERT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
    // The list, its statistics and the next run see the new sizes, not the listed ones.
    ASSERT_EQ(window_->files().size(), 2u);
    for (const FileEntry& entry : window_->files()) {
        EXPECT_EQ(entry.width, 64u) << entry.path;
        EXPECT_EQ(entry.height, 48u) << entry.path;
        EXPECT_EQ(entry.dpi, 300u) << entry.path;
    }
}

TEST_F(MainWindowTest, NoButtonLooksDefaultWhileAFieldHasTheFocus) {
    Open();
    window_->Control(1016)->setFocus();
    EXPECT_TRUE(window_->ControlAs<QPushButton>(1016)->isDefault());
    // Enter on a focused button presses it.
    QTest::keyClick(window_->Control(1016), Qt::Key_Return);
    EXPECT_TRUE(ui_.folderAskedAt.has_value());
    for (int field : {1015, 1007, 1022, 1012}) {
        window_->Control(field)->setFocus();
        for (QPushButton* button : window_->findChildren<QPushButton*>()) {
            EXPECT_FALSE(button->isDefault()) << field << " " << button->objectName().toStdString();
        }
        QTest::keyClick(window_->Control(field), Qt::Key_Return);
        EXPECT_TRUE(window_->isVisible());
    }
}

TEST_F(MainWindowTest, EnablingFollowsTheFilesAndTheSelection) {
    const struct {
        int files;
        bool removeAll, removeOdd, removeEven, arrowsAndRun;
    } cases[] = {
        {0, false, false, false, false}, {1, true, true, false, true}, {2, true, true, true, true}};
    for (const auto& c : cases) {
        std::vector<std::string> files;
        for (int i = 0; i < c.files; ++i) {
            files.push_back(Image("f" + std::to_string(i) + ".bmp", 20, 10));
        }
        Open(files);
        EXPECT_EQ(window_->files().size(), static_cast<size_t>(c.files));
        EXPECT_FALSE(Enabled(1032)) << c.files;
        EXPECT_EQ(Enabled(1033), c.removeAll) << c.files;
        EXPECT_EQ(Enabled(1063), c.removeOdd) << c.files;
        EXPECT_EQ(Enabled(1064), c.removeEven) << c.files;
        EXPECT_EQ(Enabled(1013), c.arrowsAndRun) << c.files;
        for (int arrow : kArrows) {
            EXPECT_EQ(Enabled(arrow), c.arrowsAndRun) << arrow;
        }
        for (int always : {1000, 1024, 1025, 1034, 1036, 1037, 1046, 1015, 2, 1012}) {
            EXPECT_TRUE(Enabled(always)) << always;
        }
        EXPECT_FALSE(Enabled(1014));
        EXPECT_EQ(Enabled(1035), true);  // a preset is selected
        if (c.files > 0) {
            auto* list = window_->Control(1012);
            auto* view = qobject_cast<QTableView*>(list);
            view->selectRow(0);
            EXPECT_TRUE(Enabled(1032));
            Click(1032);
            EXPECT_EQ(window_->files().size(), static_cast<size_t>(c.files - 1));
            EXPECT_FALSE(Enabled(1032));  // nothing is selected after a refresh
        }
    }
}

TEST_F(MainWindowTest, MethodAndKeepAspectSwitchTheirControls) {
    Open();
    auto marginsUsable = [this] { return Enabled(1026) && Enabled(1028) && Enabled(1056); };
    EXPECT_TRUE(Enabled(1022));
    EXPECT_FALSE(marginsUsable());
    Click(1025);
    EXPECT_FALSE(Enabled(1022));
    EXPECT_FALSE(Enabled(1055));
    EXPECT_TRUE(marginsUsable());
    Click(1024);
    EXPECT_FALSE(marginsUsable());
    Click(1055);
    EXPECT_TRUE(marginsUsable());
    EXPECT_TRUE(window_->options().keepAspect);
}

// The PNG and TIFF radios show and store their values and choose the run's format.
TEST_F(MainWindowTest, PngAndTiffRadiosAreStoredAndRunInTheirFormat) {
    WriteText(settings_, "[Settings]\nFormat=3\n");
    const std::string out = home_.File("out");
    Open({Image("a.png", 40, 30)});
    EXPECT_TRUE(window_->ControlAs<QRadioButton>(1067)->isChecked());
    Click(1068);
    EXPECT_FALSE(window_->ControlAs<QRadioButton>(1067)->isChecked());
    SetText(1015, out.c_str());
    SetText(1020, "150");
    Click(1013);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
    EXPECT_EQ(ProbeImageHeader(out + "/a.tif")->dpi, 150u);
    Click(2);
    EXPECT_NE(SettingsText().find("Format=4\n"), std::string::npos) << SettingsText();
}

TEST_F(MainWindowTest, DpiOnlyShowsWhatItIgnoresAndIsStoredBesideTheScalingMethod) {
    WriteText(settings_, "[Settings]\nMode=1\nMetadata=2\n");
    Open();
    EXPECT_EQ(window_->ControlAs<QComboBox>(1066)->currentText(), QString::fromUtf8("すべて保持"));
    Click(1065);
    for (int id : {1057, 1007, 1058, 1008, 1022, 1055, 1026, 1037, 1038, 1039, 1046, 1066}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    EXPECT_TRUE(Enabled(1059) && Enabled(1020) && Enabled(1015));
    window_->ControlAs<QComboBox>(1066)->setCurrentIndex(0);
    Click(2);
    const std::string stored = SettingsText();
    EXPECT_NE(stored.find("Mode=1\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("DpiOnly=1\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Metadata=0\n"), std::string::npos) << stored;

    Open();
    EXPECT_TRUE(window_->ControlAs<QRadioButton>(1065)->isChecked());
    Click(1024);
    EXPECT_TRUE(Enabled(1022) && Enabled(1037) && Enabled(1066));
}

// The controls beyond the template overlap no control of it (only the group they sit in).
TEST_F(MainWindowTest, NewControlsCoverNoDescribedControl) {
    Open();
    const std::vector<QWidget*> addedControls = {
        window_->Control(1065), window_->Control(1066), window_->Control(1067),
        window_->Control(1068), window_->Control(1069), window_->Control(kAddFolderId)};
    std::vector<QRect> added;
    for (QWidget* control : addedControls) {
        added.push_back(control->geometry());
    }
    for (QWidget* child : window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (std::count(addedControls.begin(), addedControls.end(), child) != 0 ||
            qobject_cast<QGroupBox*>(child) || !child->isVisible()) {
            continue;
        }
        for (const QRect& rect : added) {
            EXPECT_FALSE(rect.intersects(child->geometry()))
                << child->metaObject()->className() << " "
                << child->property("text").toString().toStdString();
        }
    }
}

// The preview follows every change, names its file's plan, picks the extreme files and writes
// nothing.
TEST_F(MainWindowTest, PreviewFollowsTheOptionsPicksOutliersAndWritesNothing) {
    const std::string out = home_.File("out");
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 80, 30), Image("c.jpg", 20, 40)});
    EXPECT_TRUE(Enabled(1069));
    SetText(1007, "64");
    SetText(1008, "48");
    SetText(1020, "150");
    SetText(1015, out.c_str());
    Click(1069);
    CPreviewDlg* preview = window_->preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    uint64_t shown = 0;
    // Until the refresh after the last change is on the screen.
    auto settled = [&] {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return preview->shownCount() > shown && !preview->busy(); }, 5000));
        QCoreApplication::processEvents();
        shown = preview->shownCount();
        return preview->planText().toStdString();
    };
    EXPECT_EQ(settled(),
              "40×30 → 64×48（160.0%）、出力 a.jpg 64×48、150 DPI、印刷サイズ 10.8×8.1 mm");
    EXPECT_EQ(preview->picture().size(), QSize(64, 48));

    Click(1055);
    EXPECT_EQ(settled(),
              "40×30 → 64×48（160.0%）、出力 a.jpg 64×48、150 DPI、印刷サイズ 10.8×8.1 mm");
    // Largest enlargement a (first of a tie), largest reduction b, most margin c.
    const struct {
        int button;
        const char* line;
    } picks[] = {
        {1,
         "80×30 → 64×24（80.0%）、余白 上 12 / 下 12、出力 b.jpg 64×48、150 DPI、印刷サイズ "
         "10.8×8.1 mm"},
        {3,
         "20×40 → 24×48（120.0%）、余白 左 20 / 右 20、出力 c.jpg 64×48、150 DPI、印刷サイズ "
         "10.8×8.1 "
         "mm"},
        {0, "40×30 → 64×48（160.0%）、出力 a.jpg 64×48、150 DPI、印刷サイズ 10.8×8.1 mm"},
    };
    for (const auto& pick : picks) {
        QTest::mouseClick(preview->outlierButton(pick.button), Qt::LeftButton);
        EXPECT_EQ(settled(), pick.line) << pick.button;
    }
    EXPECT_FALSE(preview->outlierButton(2)->isEnabled());  // nothing is cut
    EXPECT_EQ(window_->ControlAs<QTableView>(1012)->selectionModel()->selectedRows().size(), 1);

    Click(1025);  // crop-and-paste
    window_->ControlAs<QComboBox>(1026)->setCurrentIndex(0);
    EXPECT_EQ(settled(),
              "40×30 → 等倍、余白 下 18 / 右 24、出力 a.jpg 64×48、150 DPI、"
              "印刷サイズ 10.8×8.1 mm");
    Click(1037);  // BMP
    EXPECT_NE(settled().find("出力 a.bmp 64×48"), std::string::npos);
    SetText(1007, "5");
    EXPECT_EQ(preview->planText().toStdString().empty(), false);
    QCoreApplication::processEvents();
    EXPECT_NE(preview->planText().toStdString().find("32"), std::string::npos);
    EXPECT_TRUE(preview->picture().isNull());
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 0);
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MainWindowTest, ArrowButtonsWriteIntoTheFieldEvenWhenItIsDisabled) {
    Open({Image("a.bmp", 800, 600), Image("b.bmp", 900, 500)});
    Click(1057);
    EXPECT_FALSE(Enabled(1007));
    EXPECT_FALSE(Enabled(1009));
    Click(1050);
    EXPECT_EQ(Text(1007), "850");
    EXPECT_FALSE(window_->ControlAs<QCheckBox>(1057)->isChecked());
    Click(1052);
    EXPECT_EQ(Text(1008), "600");  // a tie goes to the larger height
    EXPECT_EQ(Text(1004), "850 ");
}

TEST_F(MainWindowTest, QualitySliderUsesItsOwnArithmeticAtTheEdges) {
    Open();
    auto* slider = window_->ControlAs<QSlider>(1046);
    slider->setFocus();
    const struct {
        int from;
        Qt::Key key;
        int expected;
    } cases[] = {{95, Qt::Key_PageUp, 100}, {5, Qt::Key_PageDown, 0}, {100, Qt::Key_Right, 100},
                 {0, Qt::Key_Left, 0},      {50, Qt::Key_Home, 0},    {50, Qt::Key_End, 100},
                 {50, Qt::Key_Right, 51}};
    for (const auto& c : cases) {
        slider->setValue(c.from);
        window_->JpegQualityScrolled(4, c.from);  // as if the thumb was left there
        QTest::keyClick(slider, c.key);
        EXPECT_EQ(window_->options().jpegQuality, c.expected) << c.from << " " << c.key;
        EXPECT_EQ(Text(1047), QString::number(c.expected) + " ");
    }
}

TEST_F(MainWindowTest, PresetSelectionAndApply) {
    Open();
    auto* combo = window_->ControlAs<QComboBox>(1034);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(Text(1060), "2480 ");
    combo->setCurrentIndex(1);
    window_->OnSelchangePreset();
    EXPECT_EQ(Text(1060), "640 ");
    EXPECT_EQ(Text(1061), "480 ");
    Click(1058);  // untick height: applying leaves the ticks alone
    Click(1035);
    EXPECT_EQ(Text(1007), "640");
    EXPECT_EQ(Text(1008), "480");
    EXPECT_EQ(Text(1020), "72");
    EXPECT_FALSE(window_->ControlAs<QCheckBox>(1058)->isChecked());
}

TEST_F(MainWindowTest, EditingPresetsRenewsTheListOnOkAndSaves) {
    Open();
    auto* combo = window_->ControlAs<QComboBox>(1034);
    combo->setCurrentIndex(1);
    editorAnswer_ = std::nullopt;
    Click(1036);
    EXPECT_EQ(editorSaw_.size(), 2u);
    EXPECT_EQ(combo->currentIndex(), 1);  // cancelled: nothing changes

    editorAnswer_ = PresetList{{"B5", 2150, 3035, 300}};
    Click(1036);
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(Text(1060), "2150 ");
    const test::Bytes saved = test::ReadFile(home_.File("data/KVPreset.csv"));
    EXPECT_EQ(std::string(saved.begin(), saved.end()), "\"B5\",2150,3035,300\n");

    editorAnswer_ = PresetList{};
    Click(1036);
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(Enabled(1035));
    EXPECT_EQ(Text(1060), "2150 ");  // the last shown values stay
    EXPECT_TRUE(test::ReadFile(home_.File("data/KVPreset.csv")).empty());
}

TEST_F(MainWindowTest, APresetFileWithProblemsIsKeptOnceBeforeItsFirstSave) {
    const std::string original = "\"A4 300dpi\",2480,3508,300\nnot a preset\n";
    WriteText(home_.File("data/KVPreset.csv"), original);
    Open();
    editorAnswer_ = PresetList{{"B5", 2150, 3035, 300}};
    Click(1036);
    Click(1036);
    const test::Bytes kept = test::ReadFile(home_.File("data/KVPreset.csv.bak"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), original);
    const test::Bytes saved = test::ReadFile(home_.File("data/KVPreset.csv"));
    EXPECT_EQ(std::string(saved.begin(), saved.end()), "\"B5\",2150,3035,300\n");
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{
                  "プリセットデータの読み出しでエラーが発生しました。（1 回）",
                  "プリセットを保存しました。読み出しでエラーが発生した元のファイルは "
                  "KVPreset.csv.bak として残してあります。"}));
}

TEST_F(MainWindowTest, EnterDoesNothingAndClosingSavesTheFieldsAsTyped) {
    Open();
    SetText(1007, "");
    QTest::keyClick(window_->Control(1007), Qt::Key_Return);
    QTest::keyClick(window_->Control(1022), Qt::Key_Return);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(ui_.messages.empty());
    SetText(1008, "10");
    SetText(1015, "/some/folder");
    Click(2);
    EXPECT_FALSE(window_->isVisible());
    const std::string stored = SettingsText();
    EXPECT_NE(stored.find("SizeX=0\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("SizeY=10\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Folder=/some/folder\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Preset=0\n"), std::string::npos) << stored;
}

TEST_F(MainWindowTest, RangeMessageMovesTheFocusAndDoesNotRun) {
    Open({Image("a.bmp", 20, 10)});
    SetText(1008, "20");
    SetText(1015, home_.File("out").c_str());
    Click(1013);
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"32 から 65535 までの整数を入力してください。"});
    EXPECT_EQ(window_->focusWidget(), window_->Control(1008));
    EXPECT_TRUE(fs::is_empty(home_.File("out")));
}

TEST_F(MainWindowTest, WholeRunWithScriptedAnswersAndStateDuringTheRun) {
    const std::string out = home_.File("out");
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 40, 30), Image("c.jpg", 40, 30)});
    test::WriteFile(out + "/a.bmp", {'o', 'l', 'd'});
    test::WriteFile(out + "/b.bmp", {'o', 'l', 'd'});
    SetText(1007, "64");
    SetText(1008, "48");
    SetText(1020, "150");
    SetText(1015, out.c_str());
    Click(1037);  // BMP
    ui_.overwriteAnswers = {OverwriteChoice::Skip, OverwriteChoice::Overwrite};
    std::vector<std::vector<int>> enabledDuringRun;
    ui_.onPump = [&](int) {
        std::vector<int> enabled;
        for (QWidget* w : window_->findChildren<QWidget*>()) {
            const int id = w->property("korvaleControlId").toInt();
            if (id != 0 && w->isEnabled() && id != 1011 && id != 1023 && id != 1017 && id != 1047 &&
                id != 1027 && !(id >= 1001 && id <= 1006) && id != 1018 && id != 1019 &&
                !(id >= 1040 && id <= 1042) && id != 1053 && !(id >= 1060 && id <= 1062)) {
                enabled.push_back(id);
            }
        }
        enabledDuringRun.push_back(enabled);
        window_->close();  // refused while the run is active
        EXPECT_TRUE(window_->isVisible());
    };
    Click(1013);
    EXPECT_EQ(ui_.asked, (std::vector<std::string>{out + "/a.bmp", out + "/b.bmp"}));
    ASSERT_EQ(enabledDuringRun.size(), 3u);
    for (const auto& enabled : enabledDuringRun) {
        EXPECT_EQ(enabled, std::vector<int>{1014});
    }
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
    EXPECT_EQ(ui_.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(test::ReadFile(out + "/a.bmp").size(), 3u);
    EXPECT_EQ(ProbeImageHeader(out + "/b.bmp"), (ImageHeaderInfo{64, 48, 150}));
    EXPECT_EQ(ProbeImageHeader(out + "/c.bmp"), (ImageHeaderInfo{64, 48, 150}));
    EXPECT_EQ(window_->ControlAs<QProgressBar>(1017)->value(), 3);
    EXPECT_EQ(window_->ControlAs<QProgressBar>(1017)->text(), "3 / 3");
    ASSERT_EQ(ui_.completions.size(), 1u);
    EXPECT_EQ(ui_.completions[0].converted, 2);
    EXPECT_EQ(ui_.completions[0].skipped, 1);
    EXPECT_EQ(Text(1023), "");
    EXPECT_FALSE(window_->running());
    EXPECT_TRUE(Enabled(1013));
    EXPECT_FALSE(Enabled(1014));
    EXPECT_EQ(window_->options().outputFolder, out + "/");
    EXPECT_EQ(Text(1015).toStdString(), out);  // the field keeps what was typed
}

TEST_F(MainWindowTest, StopEndsTheRunAfterTheImageInHand) {
    const std::string out = home_.File("out");
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 40, 30), Image("c.jpg", 40, 30)});
    SetText(1015, out.c_str());
    ui_.onPump = [this](int) { Click(1014); };
    Click(1013);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(window_->ControlAs<QProgressBar>(1017)->value(), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    Click(2);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, MissingOutputFolderIsOfferedForCreation) {
    const std::string folder = home_.File("new/out");
    Open({Image("a.jpg", 40, 30)});
    SetText(1015, folder.c_str());
    ui_.createFolderAnswer = false;
    Click(1013);
    EXPECT_EQ(ui_.events.back(), "create?:" + folder);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(fs::exists(home_.File("new")));
    EXPECT_EQ(window_->ControlAs<QProgressBar>(1017)->value(), -1);  // never started

    ui_.createFolderAnswer = true;
    Click(1013);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
    EXPECT_EQ(ProbeImageHeader(folder + "/a.jpg")->width, 2480u);
}

TEST_F(MainWindowTest, StopGivesTheWindowBackWhileDroppedWorkStillRuns) {
    // The images after the first take long to prepare, so they are still being worked on when
    // the stop is seen; the window is usable at once and a new run is not disturbed.
    const std::string out = home_.File("out");
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 3000, 2000), Image("c.jpg", 3000, 2000)});
    SetText(1007, "64");
    SetText(1008, "48");
    SetText(1015, out.c_str());
    ui_.onPump = [this](int) { Click(1014); };
    Click(1013);
    EXPECT_FALSE(window_->running());
    EXPECT_TRUE(Enabled(1013));
    EXPECT_FALSE(Enabled(1014));
    EXPECT_TRUE(ui_.messages.empty());

    ui_.onPump = nullptr;
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    SetText(1007, "32");
    SetText(1008, "40");
    Click(1013);
    LoadedImageEngine()->waitForWorkAhead();  // the run's own, in the module
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        EXPECT_EQ(ProbeImageHeader(out + "/" + name), (ImageHeaderInfo{32, 40, 300})) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3);
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersGoThroughRegistration) {
    Open();
    const std::string jpeg = Image("dropped.jpg", 30, 20);
    fs::create_directories(home_.File("out/sub"));
    const std::string inside = Image("out/sub/inside.PNG", 8, 6);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(jpeg)),
                  QUrl::fromLocalFile(QString::fromStdString(home_.File("out")))});
    QWidget* target = window_->ControlAs<QTableView>(1012)->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_EQ(window_->files().size(), 2u);
    EXPECT_EQ(window_->files()[0].path, jpeg);
    // The folder brings the images of its tree.
    EXPECT_EQ(window_->files()[1].path, inside);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(window_->acceptDrops());
}

TEST_F(MainWindowTest, AddFolderPicksAFolderAndRowsShowTheirFullPath) {
    fs::create_directories(home_.File("pick/a/b"));
    const std::string first = Image("pick/a/one.bmp", 10, 8);
    const std::string second = Image("pick/a/b/two.jpg", 12, 8);
    Image("pick/a/.hidden.bmp", 4, 4);
    Open();
    EXPECT_EQ(window_->ControlAs<QAbstractButton>(kAddFolderId)->text(), "フォルダ追加...");
    // Cancelling the picker changes nothing.
    Click(kAddFolderId);
    EXPECT_TRUE(window_->files().empty());
    ui_.chosenFolder = home_.File("pick/a");
    Click(kAddFolderId);
    EXPECT_EQ(ui_.folderTitle, "フォルダ追加");
    ASSERT_EQ(window_->files().size(), 2u);
    auto* list = window_->ControlAs<QTableView>(1012);
    const QModelIndex name = list->model()->index(1, 1);
    EXPECT_EQ(name.data().toString().toStdString(), "one.bmp");
    EXPECT_EQ(name.data(Qt::ToolTipRole).toString().toStdString(), first);
    EXPECT_EQ(list->model()->index(0, 1).data(Qt::ToolTipRole).toString().toStdString(), second);
    // The picker opens where the last folder was chosen.
    ui_.chosenFolder.reset();
    Click(kAddFolderId);
    EXPECT_EQ(ui_.folderAskedAt, home_.File("pick/a"));
}

TEST_F(MainWindowTest, ImageFilterMatchesEveryImageExtensionInAnyCase) {
    for (const char* name : {"a.JPG", "b.Jpeg", "c.bmp", "d.BMP", "e.png", "f", "g.TIF", "h.tiff",
                             "i.gif", "j.HEIC", "k.heif", "l.hif", "m.avif", "n.WebP", "o.jxl"}) {
        test::WriteFile(home_.File(std::string("pick/") + name), {});
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(ImageFileFilters());
    dialog.setDirectory(QString::fromStdString(home_.File("pick")));
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    auto listed = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
            names << view->model()->index(row, 0, root).data().toString();
        }
        names.sort();
        return names;
    };
    const QStringList images = {"a.JPG",  "b.Jpeg", "c.bmp", "d.BMP",  "e.png",  "g.TIF", "h.tiff",
                                "j.HEIC", "k.heif", "l.hif", "m.avif", "n.WebP", "o.jxl"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == images; }, 5000))
        << listed().join(",").toStdString();
    dialog.selectNameFilter(ImageFileFilters()[1]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed().size() == 15; }, 5000))
        << listed().join(",").toStdString();
    auto* filterBox = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(filterBox, nullptr);
    EXPECT_EQ(filterBox->itemText(0),
              "Image Files (*.bmp;*.jpg;*.png;*.tif;*.heic;*.avif;*.webp;*.jxl)");
    EXPECT_EQ(filterBox->itemText(1), "All Files (*.*)");
}

TEST_F(MainWindowTest, AboutBoxNamesTheLinkedOpenCv) {
    EXPECT_EQ(VersionLine(), "Korvale Ver. 1.2.0.3");
    EXPECT_EQ(OpenCvLine(), QString("Powered by OpenCV ") + CV_VERSION);
}

TEST_F(MainWindowTest, NamedPipesForItsFilesNeitherBlockNorAreWrittenInto) {
    fs::remove(home_.File("data/KVPreset.csv"));
    ASSERT_EQ(::mkfifo(home_.File("data/KVPreset.csv").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(settings_.c_str(), 0600), 0);
    Open();
    EXPECT_EQ(Text(1007), "2480");
    Click(2);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{"プリセットデータの読み出しに失敗しました。(Open)",
                                        "設定の保存に失敗しました。"}));
    EXPECT_EQ(ui_.details.back(), settings_ + "\n通常のファイルではありません。");
    EXPECT_TRUE(fs::is_fifo(settings_));
}

// The output options cover no described control and come back at the next start.
TEST_F(MainWindowTest, OutputOptionsCoverNoDescribedControlAndAreStored) {
    Open();
    const std::vector<int> ids = {1070, 1072, 1073, 1074};
    for (QWidget* child : window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const int id = ui::ControlId(child);
        const auto* label = qobject_cast<QLabel*>(child);
        if (std::count(ids.begin(), ids.end(), id) != 0 ||
            (label != nullptr && label->buddy() == window_->Control(1072)) ||
            qobject_cast<QGroupBox*>(child) || !child->isVisible()) {
            continue;
        }
        for (int added : ids) {
            EXPECT_FALSE(window_->Control(added)->geometry().intersects(child->geometry()))
                << added << " covers " << id;
        }
    }
    EXPECT_FALSE(window_->ControlAs<QCheckBox>(1070)->isChecked());
    EXPECT_EQ(window_->ControlAs<QComboBox>(1072)->currentText(), "確認する");
    EXPECT_FALSE(window_->ControlAs<QCheckBox>(1073)->isChecked());
    EXPECT_FALSE(window_->ControlAs<QCheckBox>(1074)->isChecked());
    Click(2);
    EXPECT_EQ(SettingsText().find("KeepGoing"), std::string::npos) << SettingsText();
    EXPECT_EQ(SettingsText().find("ToSrgb"), std::string::npos) << SettingsText();
    Open();
    Click(1070);
    window_->ControlAs<QComboBox>(1072)->setCurrentIndex(1);
    Click(1073);
    Click(1074);
    Click(2);
    EXPECT_NE(SettingsText().find("ToSrgb=1\n"), std::string::npos) << SettingsText();
    Open();
    EXPECT_TRUE(window_->ControlAs<QCheckBox>(1070)->isChecked());
    EXPECT_EQ(window_->ControlAs<QComboBox>(1072)->currentText(), "連番を付ける");
    EXPECT_TRUE(window_->ControlAs<QCheckBox>(1073)->isChecked());
    EXPECT_TRUE(window_->ControlAs<QCheckBox>(1074)->isChecked());
    EXPECT_EQ(window_->ControlAs<QCheckBox>(1074)->text(), QString::fromUtf8("sRGBに変換(&S)"));
}

// A run that goes on after errors lists the failed files in one message and selects them.
TEST_F(MainWindowTest, KeepGoingRunSelectsTheFailedRows) {
    Open({Image("a.jpg", 40, 30), Image("b.jpg", 40, 30), Image("c.jpg", 40, 30)});
    fs::create_directories(home_.File("out/b.jpg"));  // cannot be written
    SetText(1015, home_.File("out").c_str());
    Click(1073);
    Click(1013);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{Japanese(kFailedFilesMessage)});
    auto* list = window_->ControlAs<QTableView>(1012);
    QModelIndexList selected = list->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].row(), 1);
    EXPECT_TRUE(fs::is_regular_file(home_.File("out/a.jpg")));
    EXPECT_TRUE(fs::is_regular_file(home_.File("out/c.jpg")));
    EXPECT_TRUE(Enabled(1032));  // the removal of the selection is offered
}

}  // namespace
}  // namespace korvale
