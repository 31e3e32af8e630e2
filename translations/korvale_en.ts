<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>korvale::BatchOptions</name>
    <message>
        <source>削除</source>
        <translation>Remove all</translation>
    </message>
    <message>
        <source>位置情報以外を保持</source>
        <translation>All but location</translation>
    </message>
    <message>
        <source>すべて保持</source>
        <translation>Keep all</translation>
    </message>
    <message>
        <source>左上</source>
        <translation>Top L</translation>
    </message>
    <message>
        <source>中上</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>右上</source>
        <translation>Top R</translation>
    </message>
    <message>
        <source>左中</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>中央</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>右中</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>左下</source>
        <translation>Bottom L</translation>
    </message>
    <message>
        <source>中下</source>
        <translation>Bottom</translation>
    </message>
    <message>
        <source>右下</source>
        <translation>Bottom R</translation>
    </message>
    <message>
        <source>確認する</source>
        <translation>Ask</translation>
    </message>
    <message>
        <source>連番を付ける</source>
        <translation>Add number</translation>
    </message>
</context>
<context>
    <name>korvale::CAboutDlg</name>
    <message>
        <source>Korvale について</source>
        <translation>About Korvale</translation>
    </message>
</context>
<context>
    <name>korvale::CKorvaleDlg</name>
    <message>
        <source>設定の保存に失敗しました。</source>
        <translation>The settings could not be saved.</translation>
    </message>
    <message>
        <source>Korvaleについて(&amp;A)...</source>
        <translation>&amp;About Korvale...</translation>
    </message>
    <message>
        <source>フォルダ追加</source>
        <translation>Add Folder</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>ファイルリスト&#x3000;（Drag&amp;&amp;Dropでも追加できます）</source>
        <translation>File list (drag &amp;&amp; drop files to add them)</translation>
    </message>
    <message>
        <source>ファイル数</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>追加...</source>
        <translation>Add...</translation>
    </message>
    <message>
        <source>フォルダ追加...</source>
        <translation>Add Folder...</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>全て削除</source>
        <translation>Remove All</translation>
    </message>
    <message>
        <source>奇数No.削除</source>
        <translation>Remove Odd</translation>
    </message>
    <message>
        <source>偶数No.削除</source>
        <translation>Remove Even</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>最頻</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>幅
(dot)</source>
        <translation>W
(px)</translation>
    </message>
    <message>
        <source>高さ
(dot)</source>
        <translation>H
(px)</translation>
    </message>
    <message>
        <source>統一する値</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>プリセット</source>
        <translation>Preset</translation>
    </message>
    <message>
        <source>幅(dot)</source>
        <translation>W (px)</translation>
    </message>
    <message>
        <source>高さ(dot)</source>
        <translation>H (px)</translation>
    </message>
    <message>
        <source>&lt;= 適用   </source>
        <translation>&lt;= Apply</translation>
    </message>
    <message>
        <source>編集...</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>統一方法</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>拡大縮小 -</source>
        <translation>Scale -</translation>
    </message>
    <message>
        <source>等倍で切り貼り</source>
        <translation>Crop/pad at 1:1</translation>
    </message>
    <message>
        <source>解像度のみ変更
（再圧縮なし）</source>
        <translation>Change DPI only
(no re-encoding)</translation>
    </message>
    <message>
        <source>補間法</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>縦横比を維持</source>
        <translation>Keep aspect</translation>
    </message>
    <message>
        <source>余白、はみ出しが生じる場合</source>
        <translation>Margins and overflow</translation>
    </message>
    <message>
        <source>配置の基準</source>
        <translation>Anchor</translation>
    </message>
    <message>
        <source>余白の色</source>
        <translation>Pad colour</translation>
    </message>
    <message>
        <source>保存フォーマット</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>元と同じ</source>
        <translation>As source</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>JPEG品質</source>
        <translation>JPEG quality</translation>
    </message>
    <message>
        <source>高</source>
        <translation>High</translation>
    </message>
    <message>
        <source>メタデータ</source>
        <translation>Metadata</translation>
    </message>
    <message>
        <source>保存フォルダ</source>
        <translation>Output folder</translation>
    </message>
    <message>
        <source>実行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>プレビュー...</source>
        <translation>Preview...</translation>
    </message>
    <message>
        <source>同名は(&amp;N)</source>
        <translation>On &amp;clash</translation>
    </message>
    <message>
        <source>フォルダ構成を保持(&amp;T)</source>
        <translation>Keep folder &amp;tree</translation>
    </message>
    <message>
        <source>エラーがあっても続行(&amp;G)</source>
        <translation>&amp;Go on after errors</translation>
    </message>
    <message>
        <source>sRGBに変換(&amp;S)</source>
        <translation>Convert to &amp;sRGB</translation>
    </message>
    <message>
        <source>ファイルがありません。</source>
        <translation>There are no files.</translation>
    </message>
    <message>
        <source>プレビュー - No.%1 %2</source>
        <translation>Preview - No.%1 %2</translation>
    </message>
</context>
<context>
    <name>korvale::COverwriteInQDlg</name>
    <message>
        <source>上書き確認</source>
        <translation>Confirm Overwrite</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>すでに同じ名前のファイルが存在します。</source>
        <translation>A file with the same name already exists.</translation>
    </message>
    <message>
        <source>上書き</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>全て上書き</source>
        <translation>Overwrite All</translation>
    </message>
    <message>
        <source>スキップ</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>全てスキップ</source>
        <translation>Skip All</translation>
    </message>
</context>
<context>
    <name>korvale::CPresetEditDlg</name>
    <message>
        <source>プリセット名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>幅(dot)</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>高さ(dot)</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>プリセットは %1 個までです。追加するには、先に不要なプリセットを削除してください。</source>
        <translation>Up to %1 presets can be kept. To add one, first delete a preset you no longer need.</translation>
    </message>
    <message>
        <source>プリセット編集</source>
        <translation>Edit Presets</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>追加...</source>
        <translation>Add...</translation>
    </message>
    <message>
        <source>編集...</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>上へ</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>下へ</source>
        <translation>Down</translation>
    </message>
</context>
<context>
    <name>korvale::CPresetItemEditDlg</name>
    <message>
        <source>プリセット項目編集</source>
        <translation>Edit Preset</translation>
    </message>
    <message>
        <source>プリセット項目追加</source>
        <translation>Add Preset</translation>
    </message>
    <message>
        <source>&lt;= 適用   </source>
        <translation>&lt;= Apply</translation>
    </message>
    <message>
        <source>用紙を選択してください。</source>
        <translation>Please choose a paper size.</translation>
    </message>
    <message>
        <source>ハガキ</source>
        <translation>Postcard</translation>
    </message>
    <message>
        <source>L判写真</source>
        <translation>Photo L</translation>
    </message>
    <message>
        <source>名刺</source>
        <translation>Name card</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>プリセット名</source>
        <translation>Preset name</translation>
    </message>
    <message>
        <source>幅(dot)</source>
        <translation>W (px)</translation>
    </message>
    <message>
        <source>高さ(dot)</source>
        <translation>H (px)</translation>
    </message>
    <message>
        <source>mm単位のサイズとDPIで計算</source>
        <translation>From size in mm and DPI</translation>
    </message>
    <message>
        <source>幅(mm)</source>
        <translation>W (mm)</translation>
    </message>
    <message>
        <source>高さ(mm)</source>
        <translation>H (mm)</translation>
    </message>
    <message>
        <source>定形用紙</source>
        <translation>Paper size</translation>
    </message>
    <message>
        <source>縦</source>
        <translation>↕</translation>
    </message>
    <message>
        <source>横</source>
        <translation>↔</translation>
    </message>
</context>
<context>
    <name>korvale::CPreviewDlg</name>
    <message>
        <source>最大の拡大</source>
        <translation>Most enlarged</translation>
    </message>
    <message>
        <source>最大の縮小</source>
        <translation>Most reduced</translation>
    </message>
    <message>
        <source>切り取り最大</source>
        <translation>Most cropped</translation>
    </message>
    <message>
        <source>余白最大</source>
        <translation>Most margin</translation>
    </message>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>極端なファイル：</source>
        <translation>Extremes:</translation>
    </message>
</context>
<context>
    <name>korvale::FileListModel</name>
    <message>
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>幅(dot)</source>
        <translation>Width (px)</translation>
    </message>
    <message>
        <source>高さ(dot)</source>
        <translation>Height (px)</translation>
    </message>
</context>
<context>
    <name>korvale::ui::MessageBox</name>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
</context>
</TS>
