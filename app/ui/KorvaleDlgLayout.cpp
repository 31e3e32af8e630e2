// The main window's controls at their template positions, created in template order, which is
// also the tab order.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "AppIcon.h"
#include "DialogLayout.h"
#include "DropListCtrl.h"
#include "FileListModel.h"
#include "KorvaleDlg.h"
#include "MyGraph.h"
#include "SpinButton.h"

namespace korvale {
namespace {

// A closed drop-down list; the template's height is that of the open list.
constexpr int kComboHeight = 13;

}  // namespace

void CKorvaleDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Korvale"));
    setWindowIcon(AppIcon());
    const ui::DialogUnits units = ui::PrepareDialog(this, 334, 406);

    auto button = [&](int id, const QString& text, int x, int y, int w, int h) {
        return ui::AddButton(this, units, id, text, x, y, w, h);
    };
    auto label = [&](const QString& text, int x, int y, int w, int h,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
        auto* l = new QLabel(ui::TemplateText(text), this);
        l->setAlignment(align);
        l->setTextFormat(Qt::PlainText);
        ui::Place(l, units, x, y, w, h);
        return l;
    };
    auto valueBox = [&](int id, int x, int y, int w, int h) {
        QLabel* box = ui::MakeValueBox(this);
        ui::SetControlId(box, id);
        ui::Place(box, units, x, y, w, h);
        return box;
    };
    auto check = [&](int id, const QString& text, int x, int y, int w, int h) {
        auto* c = new QCheckBox(text, this);
        ui::SetControlId(c, id);
        ui::Place(c, units, x, y, w, h);
        return c;
    };
    auto numberField = [&](int fieldId, int spinId, int x, int y, int w, int h, int low, int high) {
        QLineEdit* field = ui::MakeDigitField(this);
        ui::SetControlId(field, fieldId);
        auto* spin = new ui::SpinButton(field, this);
        ui::SetControlId(spin, spinId);
        spin->SetRange(low, high);
        ui::PlaceWithSpin(field, spin, units, x, y, w, h);
        return field;
    };
    auto dropDown = [&](int id, int x, int y, int w) {
        auto* combo = new QComboBox(this);
        ui::SetControlId(combo, id);
        ui::Place(combo, units, x, y, w, kComboHeight);
        return combo;
    };
    auto radio = [&](int id, const QString& text, int x, int y, int w, int h) {
        auto* r = new QRadioButton(text, this);
        ui::SetControlId(r, id);
        ui::Place(r, units, x, y, w, h);
        return r;
    };
    auto group = [&](int id, const QString& text, int x, int y, int w, int h) {
        auto* g = new QGroupBox(text, this);
        if (id != 0) {
            ui::SetControlId(g, id);
        }
        ui::Place(g, units, x, y, w, h);
        return g;
    };
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;

    button(2, tr("閉じる"), 272, 382, 56, 20);
    label(tr("ファイルリスト　（Drag&&Dropでも追加できます）"), 6, 2, 150, 10);
    label(tr("ファイル数"), 190, 2, 36, 10);
    fileCount_ = valueBox(1011, 228, 2, 46, 10);
    fileCount_->setText(QStringLiteral("0 "));
    list_ = new CDropListCtrl(this);
    ui::SetControlId(list_, 1012);
    ui::Place(list_, units, 6, 12, 268, 124);
    model_ = new FileListModel(files_, this);
    list_->setModel(model_);
    list_->SetColumnWidths();
    button(1000, tr("追加..."), 276, 12, 52, 26);
    // Beyond the template: adding a folder, next to Add in the tab order, in the free strip
    // below the list beside the preset caption, where it moves nothing.
    button(kAddFolderId, tr("フォルダ追加..."), 262, 139, 66, 13);
    button(1032, tr("削除"), 276, 42, 52, 20);
    button(1033, tr("全て削除"), 276, 66, 52, 22);
    button(1063, tr("奇数No.削除"), 276, 92, 52, 20);
    button(1064, tr("偶数No.削除"), 276, 116, 52, 20);
    label(tr("最小"), 30, 144, 20, 10, centred);
    label(tr("最大"), 64, 144, 20, 10, centred);
    label(tr("平均"), 98, 144, 22, 10, centred);
    label(tr("最頻"), 132, 144, 22, 10, centred);

    // Three rows of statistics, each with its four arrow buttons below.
    const struct {
        const char* head;
        int headHeight;
        int y;
        int boxes[4];
        int arrows[4];
    } rows[] = {{QT_TRANSLATE_NOOP("korvale::CKorvaleDlg", "幅\n(dot)"),
                 18,
                 154,
                 {1001, 1003, 1004, 1018},
                 {1048, 1049, 1050, 1051}},
                {QT_TRANSLATE_NOOP("korvale::CKorvaleDlg", "高さ\n(dot)"),
                 18,
                 176,
                 {1002, 1005, 1006, 1019},
                 {1029, 1030, 1031, 1052}},
                {"DPI", 10, 198, {1040, 1041, 1042, 1053}, {1043, 1044, 1045, 1054}}};
    const int boxX[] = {24, 58, 92, 126};
    const int arrowX[] = {32, 66, 100, 134};
    int box = 0;
    for (const auto& row : rows) {
        label(tr(row.head), 6, row.y, 16, row.headHeight);
        for (int i = 0; i < 4; ++i) {
            statisticBoxes_[box++] = valueBox(row.boxes[i], boxX[i], row.y, 32, 10);
        }
        for (int i = 0; i < 4; ++i) {
            button(row.arrows[i], "⇒", arrowX[i], row.y + 10, 24, 10);
        }
    }

    label(tr("統一する値"), 174, 144, 48, 10, centred);
    check(1057, "", 164, 154, 10, 10);
    widthField_ = numberField(1007, 1009, 174, 154, 48, 14, 32, 65535);
    check(1058, "", 164, 176, 10, 10);
    heightField_ = numberField(1008, 1010, 174, 176, 48, 14, 32, 65535);
    check(1059, "", 164, 198, 10, 10);
    dpiField_ = numberField(1020, 1021, 174, 198, 48, 14, 0, 10000);
    label(tr("プリセット"), 228, 144, 32, 10);
    presetCombo_ = dropDown(1034, 228, 154, 100);
    label(tr("幅(dot)"), 228, 170, 32, 8);
    label(tr("高さ(dot)"), 262, 170, 32, 8);
    label("DPI", 296, 170, 16, 8);
    presetValues_[0] = valueBox(1060, 228, 178, 32, 10);
    presetValues_[1] = valueBox(1061, 262, 178, 32, 10);
    presetValues_[2] = valueBox(1062, 296, 178, 32, 10);
    button(1035, tr("<= 適用   "), 228, 190, 56, 22);
    button(1036, tr("編集..."), 286, 190, 42, 22);

    group(0, tr("統一方法"), 6, 226, 180, 52);
    auto* resize = radio(1024, tr("拡大縮小 -"), 12, 240, 48, 10);
    auto* crop = radio(1025, tr("等倍で切り貼り"), 12, 264, 70, 10);
    auto* methods = new QButtonGroup(this);
    // Beyond the template, placed where it moves nothing: the lossless DPI method beside the
    // crop-and-paste button, in the same group and next in the tab order.
    auto* dpiOnly = radio(1065, tr("解像度のみ変更\n（再圧縮なし）"), 86, 261, 98, 16);
    methods->addButton(resize, 0);
    methods->addButton(crop, 1);
    methods->addButton(dpiOnly, 2);
    ui::TabStopAtCheckedButton({resize, crop, dpiOnly});
    label(tr("補間法"), 66, 236, 26, 10);
    interpolationList_ = dropDown(1022, 94, 236, 84);
    for (const char* name : kInterpolationNames) {
        interpolationList_->addItem(QString::fromUtf8(name));  // the same in every language
    }
    check(1055, tr("縦横比を維持"), 66, 250, 60, 10);
    group(1056, tr("余白、はみ出しが生じる場合"), 194, 226, 134, 52);
    label(tr("配置の基準"), 200, 240, 44, 10);
    anchorList_ = dropDown(1026, 246, 240, 46);
    for (const char* name : kAnchorNames) {
        anchorList_->addItem(QCoreApplication::translate("korvale::BatchOptions", name));
    }
    label(tr("余白の色"), 200, 258, 34, 10);
    swatch_ = new CMyGraph(this);
    ui::SetControlId(swatch_, 1027);
    ui::Place(swatch_, units, 246, 256, 46, 14);
    button(1028, "...", 292, 256, 26, 14);

    // Beyond the template: PNG and TIFF in a second row, the group's frame taken down around
    // it into the free strip above the folder label, so that no described control moves.
    group(0, tr("保存フォーマット"), 6, 286, 142, 35);
    auto* formats = new QButtonGroup(this);
    const std::vector<QAbstractButton*> formatRadios = {
        radio(1037, "BMP", 12, 298, 32, 10), radio(1038, "JPEG", 54, 298, 36, 10),
        radio(1039, tr("元と同じ"), 98, 298, 42, 10), radio(1067, "PNG", 12, 309, 32, 10),
        radio(1068, "TIFF", 54, 309, 36, 10),
        // WebP and AVIF in the rest of the second row, inside the same frame.
        radio(1075, "WebP", 92, 309, 28, 10), radio(1076, "AVIF", 120, 309, 27, 10)};
    for (int i = 0; i < 7; ++i) {
        formats->addButton(formatRadios[static_cast<size_t>(i)], i);
    }
    ui::TabStopAtCheckedButton(formatRadios);
    label(tr("低"), 162, 286, 16, 8, centred);
    label(tr("JPEG品質"), 208, 286, 52, 8, centred);
    label(tr("高"), 290, 286, 16, 8, centred);
    qualitySlider_ = new QSlider(Qt::Horizontal, this);
    ui::SetControlId(qualitySlider_, 1046);
    ui::Place(qualitySlider_, units, 164, 294, 144, 18);
    qualitySlider_->setTickPosition(QSlider::TicksBelow);
    qualityNumber_ = valueBox(1047, 310, 298, 18, 10);
    // Beyond the template: what JPEG outputs keep of their source, between the quality slider
    // and the folder field, where it moves nothing.
    label(tr("メタデータ"), 200, 316, 44, 10);
    metadataList_ = dropDown(1066, 246, 314, 82);
    for (const char* name : kMetadataNames) {
        metadataList_->addItem(QCoreApplication::translate("korvale::BatchOptions", name));
    }

    label(tr("保存フォルダ"), 6, 322, 46, 10);
    folderField_ = new QLineEdit(this);
    ui::SetControlId(folderField_, 1015);
    ui::Place(folderField_, units, 6, 332, 290, 12);
    button(1016, "...", 296, 332, 32, 12);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    ui::SetControlId(status_, 1023);
    ui::Place(status_, units, 6, 348, 218, 10);
    progress_ = new QProgressBar(this);
    progress_->setFormat(QStringLiteral("%v / %m"));
    progress_->setAlignment(Qt::AlignCenter);
    ui::SetControlId(progress_, 1017);
    ui::Place(progress_, units, 6, 358, 322, 10);
    button(1013, tr("実行"), 6, 376, 74, 26);
    button(1014, tr("中止"), 88, 376, 74, 26);
    // Beyond the template: the preview, in the free room between the stop and close buttons.
    button(1069, tr("プレビュー..."), 186, 382, 70, 20);
    // Beyond the template, in free strips where they move nothing: what to do with outputs
    // that share a name below the preset buttons, and the kept tree and going on after errors
    // between the progress bar and the buttons below it. Reached by click and by their access
    // keys, so that the template's tab order stays as it is.
    auto* clashLabel = label(tr("同名は(&N)"), 226, 215, 38, 10);
    clashList_ = dropDown(1072, 264, 213, 64);
    for (const char* name : kClashRuleNames) {
        clashList_->addItem(QCoreApplication::translate("korvale::BatchOptions", name));
    }
    clashLabel->setBuddy(clashList_);
    auto* keepTree = check(1070, tr("フォルダ構成を保持(&T)"), 163, 370, 78, 10);
    auto* keepGoing = check(1073, tr("エラーがあっても続行(&G)"), 243, 370, 85, 10);
    // Beyond the template as well: the colour conversion right of the folder label, in the
    // strip below the format group.
    auto* toSrgb = check(1074, tr("sRGBに変換(&S)"), 130, 322, 68, 10);
    for (QWidget* option :
         std::initializer_list<QWidget*>{clashList_, keepTree, keepGoing, toSrgb}) {
        option->setFocusPolicy(Qt::ClickFocus);
    }
    auto* separator = new QFrame(this);
    separator->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    ui::Place(separator, units, 224, 154, 2, 58);

    // The list takes the room beyond the template; what lies right of it or below it keeps its
    // distance to that edge.
    constexpr int kListBottom = 136;
    constexpr int kFileCountLeft = 190;  // the count and its caption end where the list ends
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect place = ui::TemplateRect(child);
        if (child == list_) {
            ui::SetAnchor(child, ui::kStretchWidth | ui::kStretchHeight);
        } else if (place.isValid() && place.top() >= kListBottom) {
            ui::SetAnchor(child, ui::kAnchorBottom);
        } else if (place.isValid() && place.left() >= kFileCountLeft) {
            ui::SetAnchor(child, ui::kAnchorRight);
        }
    }
    units_ = ui::FitTexts(this, units, [this] { list_->SetColumnWidths(); });
    templateSize_ = units_->Size(334, 406);
    setMinimumSize(templateSize_);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    this->resize(templateSize_);

    // No push button is a default one: Enter outside a focused button does nothing.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setDefault(false);
    }
}

}  // namespace korvale
