// Each window and dialog speaks the user's language: CTest runs this with LANG=C.UTF-8
// (Japanese, the texts as they have always been) and with LANG=en_US.UTF-8 (English).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
#include <QTranslator>
#include <filesystem>
#include <functional>
#include <memory>

#include "AboutDlg.h"
#include "DialogLayout.h"
#include "KorvaleDlg.h"
#include "OverwriteDialog.h"
#include "PresetEditDlg.h"
#include "PresetItemEditDlg.h"
#include "PreviewDlg.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "UiLanguage.h"
#include "UiTranslation.h"

namespace korvale {
namespace {

// Every text a user reads in a window: its title, buttons, labels, group titles, list entries
// and column headings.
QStringList TextsOf(const QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            texts << button->text();
        } else if (const auto* label = qobject_cast<const QLabel*>(control)) {
            texts << label->text();
        } else if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
            texts << group->title();
        } else if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
            for (int i = 0; i < combo->count(); ++i) {
                texts << combo->itemText(i);
            }
        } else if (const auto* table = qobject_cast<const QTableView*>(control)) {
            if (QAbstractItemModel* model = table->model()) {
                for (int column = 0; column < model->columnCount(); ++column) {
                    texts << model->headerData(column, Qt::Horizontal).toString();
                }
            }
        }
    }
    texts.removeAll(QString());
    return texts;
}

QString OwnText(const QWidget* control) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    return QString::fromLatin1(control->metaObject()->className()) + QLatin1Char(' ') +
           control->objectName();
}

struct Window {
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
    std::vector<const char*> japanese;  // texts it shows in Japanese
    std::vector<const char*> english;   // the same texts in English
};

class WindowLanguage : public ::testing::Test {
protected:
    WindowLanguage() {
        std::filesystem::create_directories(home_.File("data"));
        const std::string presets = "\"A4 300dpi\",2480,3508,300\n";
        test::WriteFile(home_.File("data/KVPreset.csv"), {presets.begin(), presets.end()});
    }

    std::vector<Window> Windows() {
        return {
            {"main window",
             [this] {
                 KorvaleEnvironment environment;
                 environment.ui = &ui_;
                 environment.settingsFile = home_.File("settings.ini");
                 environment.presetLocation = PresetLocation{home_.File("data"), {}};
                 environment.availableArea = QRect(0, 0, 4000, 3000);
                 return std::make_unique<CKorvaleDlg>(std::move(environment));
             },
             {"実行", "中止", "閉じる", "追加...", "プレビュー...", "元と同じ", "ファイル名",
              "位置情報以外を保持", "右下", "連番を付ける", "余白、はみ出しが生じる場合"},
             {"Run", "Stop", "Close", "Add...", "Preview...", "As source", "File name",
              "All but location", "Bottom R", "Add number", "Margins and overflow"}},
            {"overwrite question",
             [this] { return std::make_unique<COverwriteInQDlg>(home_.File("out/a.jpg")); },
             {"上書き確認", "すでに同じ名前のファイルが存在します。", "全てスキップ", "キャンセル"},
             {"Confirm Overwrite", "A file with the same name already exists.", "Skip All",
              "Cancel"}},
            {"preview",
             [] { return std::make_unique<CPreviewDlg>(nullptr); },
             {"プレビュー", "極端なファイル：", "最大の拡大", "余白最大"},
             {"Preview", "Extremes:", "Most enlarged", "Most margin"}},
            {"preset list editor",
             [this] {
                 auto editor = std::make_unique<CPresetEditDlg>(ui_);
                 editor->workingList = {{"A4 300dpi", 2480, 3508, 300}};
                 return editor;
             },
             {"プリセット編集", "プリセット名", "削除", "上へ", "キャンセル"},
             {"Edit Presets", "Name", "Delete", "Up", "Cancel"}},
            {"preset item editor",
             [this] { return std::make_unique<CPresetItemEditDlg>(ui_); },
             {"プリセット項目編集", "mm単位のサイズとDPIで計算", "定形用紙", "縦", "ハガキ"},
             {"Edit Preset", "From size in mm and DPI", "Paper size", "↕", "Postcard"}},
            {"about box",
             [] { return std::make_unique<CAboutDlg>(); },
             {"Korvale について"},
             {"About Korvale"}},
        };
    }

    test::TempDir home_;
    test::RecordingInteraction ui_;
};

TEST_F(WindowLanguage, EachWindowShowsItsTextsInTheUsersLanguage) {
    const bool english = UiLanguageOfUser() == UiLanguage::English;
    for (const Window& window : Windows()) {
        std::unique_ptr<QWidget> widget = window.make();
        widget->show();
        QCoreApplication::processEvents();
        const QStringList texts = TextsOf(*widget);
        for (const char* text : english ? window.english : window.japanese) {
            EXPECT_TRUE(texts.contains(QString::fromUtf8(text)))
                << window.name << ": no \"" << text << "\" among\n  "
                << texts.join(QStringLiteral("\n  ")).toStdString();
        }
    }
}

// A text wrapped for translation but missing from it, or never wrapped, shows in Japanese.
TEST_F(WindowLanguage, EnglishWindowsShowNoJapanese) {
    if (UiLanguageOfUser() != UiLanguage::English) {
        GTEST_SKIP() << "the user's language is Japanese";
    }
    const QRegularExpression japanese(
        QStringLiteral("[\\x{3000}-\\x{30ff}\\x{4e00}-\\x{9fff}"
                       "\\x{ff00}-\\x{ffef}]"));
    for (const Window& window : Windows()) {
        std::unique_ptr<QWidget> widget = window.make();
        widget->show();
        QCoreApplication::processEvents();
        const QStringList left = TextsOf(*widget).filter(japanese);
        EXPECT_TRUE(left.isEmpty())
            << window.name << ":\n  " << left.join(QStringLiteral("\n  ")).toStdString();
    }
}

// The English texts fit the room the Japanese ones have: no window is larger in English.
// Controls whose English text needs more are named.
TEST_F(WindowLanguage, EnglishWindowsAreNoLargerThanJapaneseOnes) {
    if (UiLanguageOfUser() != UiLanguage::Japanese) {
        GTEST_SKIP() << "compares with the Japanese windows, made without a translator";
    }
    for (const char* family : {"IPAGothic", "Noto Sans CJK JP"}) {
        ui::PreferDialogFontFamily(QString::fromUtf8(family));
        for (const Window& window : Windows()) {
            if (std::string(window.name) == "preview") {
                continue;  // a layout of its own, with no template size
            }
            const QSize japanese = window.make()->minimumSize();
            QTranslator translator;
            ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/korvale_en.qm")));
            QCoreApplication::installTranslator(&translator);
            std::unique_ptr<QWidget> english = window.make();
            QCoreApplication::removeTranslator(&translator);
            const QSize size = english->minimumSize();
            // The controls that widen the English window: those that fill their room in it.
            QStringList wider;
            for (const QWidget* child : english->findChildren<QWidget*>()) {
                const QSize need = ui::SizeForText(child);
                if (ui::TemplateRect(child).isValid() && child->width() > 0 &&
                    need.width() * 100 >= child->width() * 98) {
                    wider << QStringLiteral("%1 needs %2 of %3")
                                 .arg(OwnText(child))
                                 .arg(need.width())
                                 .arg(child->width());
                }
            }
            // Within 2 %: the fitting rounds each edge to whole pixels.
            EXPECT_LE(size.width(), japanese.width() * 102 / 100)
                << window.name << ", " << family << ":\n  "
                << wider.join(QStringLiteral("\n  ")).toStdString();
            EXPECT_LE(size.height(), japanese.height() * 102 / 100)
                << window.name << ", " << family;
        }
    }
    ui::PreferDialogFontFamily({});
}

}  // namespace
}  // namespace korvale
