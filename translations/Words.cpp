#include "Words.h"

#include <array>
#include <cstring>

#include "TranslationTable.h"

namespace korvale {

extern const TranslationTable kMessagesEnglish;
extern const TranslationTable kCliJapanese;

namespace {

struct Source {
    MessageId id;
    const char* japanese;
};

// Every identifier's Japanese words, the sources of messages_en.ts.
constexpr Source kSources[] = {
    {MessageId::DiskFull, QT_TRANSLATE_NOOP("Message", "ディスクの空き容量が不足しています。")},
    {MessageId::QuotaExceeded,
     QT_TRANSLATE_NOOP("Message", "ディスクの使用量が上限に達しています。")},
    {MessageId::FileTooLarge, QT_TRANSLATE_NOOP("Message", "ファイルが大きすぎます。")},
    {MessageId::AccessDenied, QT_TRANSLATE_NOOP("Message", "アクセスが拒否されました。")},
    {MessageId::ReadOnlyFileSystem,
     QT_TRANSLATE_NOOP("Message", "読み取り専用のファイルシステムです。")},
    {MessageId::NotFound, QT_TRANSLATE_NOOP("Message", "ファイルまたはフォルダが見つかりません。")},
    {MessageId::NotAFolderOnPath,
     QT_TRANSLATE_NOOP("Message", "パスの途中にフォルダでないものがあります。")},
    {MessageId::NameExists,
     QT_TRANSLATE_NOOP("Message", "同じ名前のファイルまたはフォルダがあります。")},
    {MessageId::FolderOfSameName, QT_TRANSLATE_NOOP("Message", "同じ名前のフォルダがあります。")},
    {MessageId::TooManyLinks,
     QT_TRANSLATE_NOOP("Message", "シンボリックリンクが循環しているか、多すぎます。")},
    {MessageId::PathTooLong, QT_TRANSLATE_NOOP("Message", "パスが長すぎます。")},
    {MessageId::InputOutputError, QT_TRANSLATE_NOOP("Message", "入出力エラーが発生しました。")},
    {MessageId::FileBusy, QT_TRANSLATE_NOOP("Message", "ファイルが使用中です。")},
    {MessageId::NotARegularFile, QT_TRANSLATE_NOOP("Message", "通常のファイルではありません。")},
    {MessageId::OutOfMemory, QT_TRANSLATE_NOOP("Message", "メモリが不足しています。")},
    {MessageId::SystemError, QT_TRANSLATE_NOOP("Message", "システムエラー %1 (%2)")},
    {MessageId::EnterInteger, QT_TRANSLATE_NOOP("Message", "整数を入力してください。")},
    {MessageId::EnterNonNegativeInteger,
     QT_TRANSLATE_NOOP("Message", "0 以上の整数を入力してください。")},
    {MessageId::EnterIntegerInRange,
     QT_TRANSLATE_NOOP("Message", "%1 から %2 までの整数を入力してください。")},
    {MessageId::EnterAtMostCharacters,
     QT_TRANSLATE_NOOP("Message", "%1 文字以内で入力してください。")},
    {MessageId::EnterAtMostBytes,
     QT_TRANSLATE_NOOP("Message",
                       "%1 バイト以内で入力してください。（全角文字は 1 文字 3 バイトです）")},
    {MessageId::LinkTargetMissing,
     QT_TRANSLATE_NOOP("Message", "リンク先のファイルがありません。")},
    {MessageId::NotReadableAsImage,
     QT_TRANSLATE_NOOP("Message", "画像として読み取れませんでした。")},
    {MessageId::TooManyFiles, QT_TRANSLATE_NOOP("Message", "ファイル数は最大 %1 です。")},
    {MessageId::UnreadableFiles,
     QT_TRANSLATE_NOOP("Message", "読み取れないファイルが %1 個ありました。")},
    {MessageId::DuplicateFiles,
     QT_TRANSLATE_NOOP("Message", "重複するファイルが %1 個ありました。")},
    {MessageId::IsAFolder, QT_TRANSLATE_NOOP("Message", "フォルダです。")},
    {MessageId::NoImagesInFolder,
     QT_TRANSLATE_NOOP("Message", "フォルダの中に画像ファイルが見つかりませんでした。")},
    {MessageId::NoFilesSelected, QT_TRANSLATE_NOOP("Message", "画像ファイルを選択してください。")},
    {MessageId::NoOutputFolder, QT_TRANSLATE_NOOP("Message", "保存フォルダを指定してください。")},
    {MessageId::NoInterpolation, QT_TRANSLATE_NOOP("Message", "補間法を指定してください。")},
    {MessageId::NoAnchor, QT_TRANSLATE_NOOP("Message", "配置の基準を選択してください。")},
    {MessageId::ExtensionChangeFailed, QT_TRANSLATE_NOOP("Message", "拡張子の変更に失敗しました.")},
    {MessageId::Done, QT_TRANSLATE_NOOP("Message", "完了")},
    {MessageId::CannotOpenOutputFolder, QT_TRANSLATE_NOOP("Message", "保存フォルダを開けません。")},
    {MessageId::CannotCreateOutputFolder,
     QT_TRANSLATE_NOOP("Message", "保存フォルダを作成できませんでした。")},
    {MessageId::OutputFolderNotAFolder,
     QT_TRANSLATE_NOOP("Message", "保存フォルダに指定された名前はフォルダではありません。")},
    {MessageId::CannotWriteOutputFolder,
     QT_TRANSLATE_NOOP("Message", "保存フォルダに書き込めません。")},
    {MessageId::CouldNotCreateImage, QT_TRANSLATE_NOOP("Message", "画像を作成できませんでした。")},
    {MessageId::RunCounts, QT_TRANSLATE_NOOP("Message", "変換 %1 件、スキップ %2 件")},
    {MessageId::RunCompleted, QT_TRANSLATE_NOOP("Message", "変換が完了しました（%1）。")},
    {MessageId::RunStopped, QT_TRANSLATE_NOOP("Message", "変換を中止しました（%1）。")},
    {MessageId::RunCancelled, QT_TRANSLATE_NOOP("Message", "変換をキャンセルしました（%1）。")},
    {MessageId::RunEndedByError,
     QT_TRANSLATE_NOOP("Message", "エラーのため変換を終了しました（%1）。")},
    {MessageId::NoExtension, QT_TRANSLATE_NOOP("Message", "ファイル名に拡張子がありません。")},
    {MessageId::FormatCannotWrite,
     QT_TRANSLATE_NOOP("Message", "この形式では画像を書き込めません。")},
    {MessageId::ImageEngineLoadFailed,
     QT_TRANSLATE_NOOP("Message", "画像の変換機能の読み込みに失敗しました。")},
    {MessageId::ReadFailed, QT_TRANSLATE_NOOP("Message", "画像ファイルの読み出しに失敗しました。")},
    {MessageId::BadAnchor, QT_TRANSLATE_NOOP("Message", "配置の基準が異常です。")},
    {MessageId::WriteFailed,
     QT_TRANSLATE_NOOP("Message", "画像ファイルの書き込みに失敗しました。")},
    {MessageId::CreateFolderQuestion,
     QT_TRANSLATE_NOOP("Message",
                       "保存フォルダが存在しません。\n%1\nこのフォルダを作成しますか？")},
    {MessageId::FailedFiles,
     QT_TRANSLATE_NOOP("Message",
                       "変換できなかったファイルがあります。ほかのファイルは変換しました。")},
    {MessageId::ReasonWithDetail, QT_TRANSLATE_NOOP("Message", "%1（%2）")},
    {MessageId::DetailSeparator, QT_TRANSLATE_NOOP("Message", "、")},
    {MessageId::MoreFailed, QT_TRANSLATE_NOOP("Message", "ほかに %1 件あります。")},
    {MessageId::PresetReadFailed,
     QT_TRANSLATE_NOOP("Message", "プリセットデータの読み出しに失敗しました。")},
    {MessageId::PresetReadError,
     QT_TRANSLATE_NOOP("Message", "プリセットデータの読み出しでエラーが発生しました。")},
    {MessageId::PresetReadErrors,
     QT_TRANSLATE_NOOP("Message", "プリセットデータの読み出しでエラーが発生しました。（%1 回）")},
    {MessageId::PresetSaveFailed, QT_TRANSLATE_NOOP("Message", "プリセットの保存に失敗しました。")},
    {MessageId::PresetOriginalKept,
     QT_TRANSLATE_NOOP("Message",
                       "プリセットを保存しました。読み出しでエラーが発生した元のファイルは "
                       "KVPreset.csv.bak として残してあります。")},
    {MessageId::MmWidthRange,
     QT_TRANSLATE_NOOP("Message", "幅(mm)は 1～3000 の範囲で指定してください。")},
    {MessageId::MmHeightRange,
     QT_TRANSLATE_NOOP("Message", "高さ(mm)は 1～3000 の範囲で指定してください。")},
    {MessageId::CalcDpiRange,
     QT_TRANSLATE_NOOP("Message", "計算用DPIは 1～10000 の範囲で指定してください。")},
    {MessageId::NoPresetName, QT_TRANSLATE_NOOP("Message", "プリセット名を設定してください。")},
    {MessageId::StampNoJfif,
     QT_TRANSLATE_NOOP("Message",
                       "JFIF セグメントがないため、解像度を書き込めません。"
                       "korvale-cli run --method dpi-only で書き込めます。")},
    {MessageId::StampNoPlace,
     QT_TRANSLATE_NOOP("Message", "解像度を書き込める位置が見つかりませんでした。")},
    {MessageId::NoResolutionEdit,
     QT_TRANSLATE_NOOP("Message",
                       "この形式では、再圧縮なしで解像度だけを変更することはできません。"
                       "「拡大縮小」か「等倍で切り貼り」で保存してください。")},
    {MessageId::DamagedSources,
     QT_TRANSLATE_NOOP("Message",
                       "次の画像ファイルはデータが壊れていたため、読み出せなかった部分を補って"
                       "変換しました。")},
    {MessageId::MoreDamaged, QT_TRANSLATE_NOOP("Message", "ほか %1 個")},
    {MessageId::CreateFolderWithMkdir,
     QT_TRANSLATE_NOOP(
         "Message", "保存フォルダが存在しません。\n%1\n作成するには --mkdir を指定してください。")},
    {MessageId::DamagedSourceWarning,
     QT_TRANSLATE_NOOP("Message",
                       "警告: 画像ファイルのデータが壊れていたため、読み出せなかった部分を補って"
                       "変換しました: %1")},
    {MessageId::OutputExistsStopped,
     QT_TRANSLATE_NOOP("Message",
                       "すでに同じ名前のファイルが存在するため、実行を中止しました。\n%1\n"
                       "上書きするかどうかは --overwrite ask|all|skip|cancel で指定できます。")},
    {MessageId::OutputExistsQuestion,
     QT_TRANSLATE_NOOP("Message",
                       "\nすでに同じ名前のファイルが存在します。\n%1\n"
                       "上書き [o] / 全て上書き [a] / スキップ [s] / キャンセル [c] / "
                       "全てスキップ [k]: ")},
    {MessageId::PlanNoExtension,
     QT_TRANSLATE_NOOP("Message", "拡張子がないため、出力ファイル名を決められません。")},
    {MessageId::PlanUnreadable, QT_TRANSLATE_NOOP("Message", "画像ファイルを読み込めません。")},
    {MessageId::PlanZeroSide, QT_TRANSLATE_NOOP("Message", "幅または高さが 0 です。")},
    {MessageId::PlanOutputIsFolder,
     QT_TRANSLATE_NOOP("Message", "出力先に同じ名前のフォルダがあります。")},
    {MessageId::PlanTooLargeForFormat,
     QT_TRANSLATE_NOOP("Message", "この大きさの画像は出力形式では書き込めません。")},
    {MessageId::PlanSameOutput,
     QT_TRANSLATE_NOOP("Message", "%1 番のファイルと出力ファイルが重なるため、実行できません。")},
    {MessageId::PlanTop, QT_TRANSLATE_NOOP("Message", "上")},
    {MessageId::PlanBottom, QT_TRANSLATE_NOOP("Message", "下")},
    {MessageId::PlanLeft, QT_TRANSLATE_NOOP("Message", "左")},
    {MessageId::PlanRight, QT_TRANSLATE_NOOP("Message", "右")},
    {MessageId::PlanDpiOnly, QT_TRANSLATE_NOOP("Message", "解像度のみ変更")},
    {MessageId::PlanOneToOne, QT_TRANSLATE_NOOP("Message", "等倍")},
    {MessageId::PlanScaled, QT_TRANSLATE_NOOP("Message", "%1（%2）")},
    {MessageId::PlanScaleXY, QT_TRANSLATE_NOOP("Message", "横 %1 / 縦 %2")},
    {MessageId::PlanMargins, QT_TRANSLATE_NOOP("Message", "、余白 %1")},
    {MessageId::PlanCuts, QT_TRANSLATE_NOOP("Message", "、切り取り %1")},
    {MessageId::PlanOutput, QT_TRANSLATE_NOOP("Message", "、出力 %1")},
    {MessageId::PlanPrint, QT_TRANSLATE_NOOP("Message", "、%1 DPI、印刷サイズ %2×%3 mm")},
    {MessageId::PlanNoDpi, QT_TRANSLATE_NOOP("Message", "、DPI なし（印刷サイズは決まりません）")},
    {MessageId::PlanProblem, QT_TRANSLATE_NOOP("Message", "。%1")},
    {MessageId::PlanExists,
     QT_TRANSLATE_NOOP("Message", "。%1 は既にあり、実行時に上書きを確認します。")},
    {MessageId::OutputsClash,
     QT_TRANSLATE_NOOP("Message", "出力ファイルが重なる画像があるため、変換を開始できません。")},
    {MessageId::ClashSameOutput,
     QT_TRANSLATE_NOOP("Message", "%1 と %2 は、どちらも %3 に書き込まれます。")},
    {MessageId::ClashReplacesSource,
     QT_TRANSLATE_NOOP("Message", "%1 の出力 %2 は、後で読み込む %3 を置き換えます。")},
    {MessageId::ClashMore, QT_TRANSLATE_NOOP("Message", "ほかに %1 件あります。")},
    {MessageId::ClashAdvice,
     QT_TRANSLATE_NOOP(
         "Message",
         "保存フォルダか出力形式を変えるか、重なるファイルをリストから外してください。")},
    {MessageId::OthersLinkInSharedFolder,
     QT_TRANSLATE_NOOP("Message",
                       "他のユーザーも書き込めるフォルダにある、ほかのユーザーのシンボリック"
                       "リンクです。安全のため、リンク先（%1）には書き込みません。")},
    {MessageId::LinkTarget, QT_TRANSLATE_NOOP("Message", "（リンク先: %1）")},
    {MessageId::SettingsWriteFailed,
     QT_TRANSLATE_NOOP("Message", "設定ファイルに書き込めませんでした。")},
};

constexpr size_t kCount = static_cast<size_t>(MessageId::Count);

// The sources indexed by identifier; an identifier without words is a build-time error.
constexpr std::array<const char*, kCount> IndexedSources() {
    std::array<const char*, kCount> indexed{};
    for (const Source& source : kSources) {
        indexed[static_cast<size_t>(source.id)] = source.japanese;
    }
    return indexed;
}
constexpr std::array<const char*, kCount> kIndexed = IndexedSources();

constexpr bool EveryIdHasWords() {
    for (const char* words : kIndexed) {
        if (words == nullptr) {
            return false;
        }
    }
    return sizeof kSources / sizeof kSources[0] == kCount;
}
static_assert(EveryIdHasWords(), "every MessageId needs its words in kSources, once");

void DropFullStop(std::string& text) {
    for (const char* stop : {"。", "."}) {
        const size_t size = std::strlen(stop);
        if (text.size() >= size && text.compare(text.size() - size, size, stop) == 0) {
            text.resize(text.size() - size);
            return;
        }
    }
}

}  // namespace

UiLanguage ShownLanguage() {
    static const UiLanguage language = UiLanguageOfUser();
    return language;
}

const char* JapaneseSource(MessageId id) {
    const size_t index = static_cast<size_t>(id);
    return index < kCount ? kIndexed[index] : "";
}

std::string Words(const Message& message, UiLanguage language) {
    std::string out;
    for (const Message::Part& part : message.parts()) {
        std::string text;
        if (part.literal) {
            text = part.text;
        } else {
            const char* pattern = JapaneseSource(part.id);
            if (language == UiLanguage::English) {
                if (const char* english = Lookup(kMessagesEnglish, pattern)) {
                    pattern = english;
                }
            }
            std::vector<std::string> args;
            args.reserve(part.args.size());
            for (const Message& arg : part.args) {
                args.push_back(Words(arg, language));
            }
            text = Substitute(pattern, args);
        }
        if (part.dropFullStop) {
            DropFullStop(text);
        }
        out += text;
    }
    return out;
}

const char* CliText(const char* english) {
    if (ShownLanguage() == UiLanguage::English) {
        return english;
    }
    const char* japanese = Lookup(kCliJapanese, english);
    return japanese != nullptr ? japanese : english;
}

std::string CliText(const char* english, const std::vector<std::string>& args) {
    return Substitute(CliText(english), args);
}

}  // namespace korvale
