<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Message</name>
    <message>
        <source>ディスクの空き容量が不足しています。</source>
        <translation>There is not enough free space on the disk.</translation>
    </message>
    <message>
        <source>ディスクの使用量が上限に達しています。</source>
        <translation>The disk quota has been reached.</translation>
    </message>
    <message>
        <source>ファイルが大きすぎます。</source>
        <translation>The file is too large.</translation>
    </message>
    <message>
        <source>アクセスが拒否されました。</source>
        <translation>Access was denied.</translation>
    </message>
    <message>
        <source>読み取り専用のファイルシステムです。</source>
        <translation>The file system is read-only.</translation>
    </message>
    <message>
        <source>ファイルまたはフォルダが見つかりません。</source>
        <translation>The file or folder was not found.</translation>
    </message>
    <message>
        <source>パスの途中にフォルダでないものがあります。</source>
        <translation>Part of the path is not a folder.</translation>
    </message>
    <message>
        <source>同じ名前のファイルまたはフォルダがあります。</source>
        <translation>A file or folder of the same name exists.</translation>
    </message>
    <message>
        <source>同じ名前のフォルダがあります。</source>
        <translation>A folder of the same name exists.</translation>
    </message>
    <message>
        <source>シンボリックリンクが循環しているか、多すぎます。</source>
        <translation>The symbolic links form a loop or are too many.</translation>
    </message>
    <message>
        <source>パスが長すぎます。</source>
        <translation>The path is too long.</translation>
    </message>
    <message>
        <source>入出力エラーが発生しました。</source>
        <translation>An input/output error occurred.</translation>
    </message>
    <message>
        <source>ファイルが使用中です。</source>
        <translation>The file is in use.</translation>
    </message>
    <message>
        <source>通常のファイルではありません。</source>
        <translation>It is not a regular file.</translation>
    </message>
    <message>
        <source>メモリが不足しています。</source>
        <translation>There is not enough memory.</translation>
    </message>
    <message>
        <source>システムエラー %1 (%2)</source>
        <translation>System error %1 (%2)</translation>
    </message>
    <message>
        <source>整数を入力してください。</source>
        <translation>Please enter a whole number.</translation>
    </message>
    <message>
        <source>0 以上の整数を入力してください。</source>
        <translation>Please enter a whole number of 0 or more.</translation>
    </message>
    <message>
        <source>%1 から %2 までの整数を入力してください。</source>
        <translation>Please enter a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>%1 文字以内で入力してください。</source>
        <translation>Please enter at most %1 characters.</translation>
    </message>
    <message>
        <source>%1 バイト以内で入力してください。（全角文字は 1 文字 3 バイトです）</source>
        <translation>Please enter at most %1 bytes. (A full-width character takes 3 bytes.)</translation>
    </message>
    <message>
        <source>リンク先のファイルがありません。</source>
        <translation>The file the link points to does not exist.</translation>
    </message>
    <message>
        <source>画像として読み取れませんでした。</source>
        <translation>It could not be read as an image.</translation>
    </message>
    <message>
        <source>ファイル数は最大 %1 です。</source>
        <translation>At most %1 files can be listed.</translation>
    </message>
    <message>
        <source>読み取れないファイルが %1 個ありました。</source>
        <translation>%1 file(s) could not be read.</translation>
    </message>
    <message>
        <source>重複するファイルが %1 個ありました。</source>
        <translation>%1 file(s) were already in the list.</translation>
    </message>
    <message>
        <source>フォルダです。</source>
        <translation>It is a folder.</translation>
    </message>
    <message>
        <source>フォルダの中に画像ファイルが見つかりませんでした。</source>
        <translation>No image files were found in the folder.</translation>
    </message>
    <message>
        <source>画像ファイルを選択してください。</source>
        <translation>Please select image files.</translation>
    </message>
    <message>
        <source>保存フォルダを指定してください。</source>
        <translation>Please specify the output folder.</translation>
    </message>
    <message>
        <source>補間法を指定してください。</source>
        <translation>Please specify the interpolation method.</translation>
    </message>
    <message>
        <source>配置の基準を選択してください。</source>
        <translation>Please select the anchor.</translation>
    </message>
    <message>
        <source>拡張子の変更に失敗しました.</source>
        <translation>The extension could not be changed.</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>保存フォルダを開けません。</source>
        <translation>The output folder cannot be opened.</translation>
    </message>
    <message>
        <source>保存フォルダを作成できませんでした。</source>
        <translation>The output folder could not be created.</translation>
    </message>
    <message>
        <source>保存フォルダに指定された名前はフォルダではありません。</source>
        <translation>The name given as the output folder is not a folder.</translation>
    </message>
    <message>
        <source>保存フォルダに書き込めません。</source>
        <translation>The output folder cannot be written to.</translation>
    </message>
    <message>
        <source>画像を作成できませんでした。</source>
        <translation>The image could not be made.</translation>
    </message>
    <message>
        <source>変換 %1 件、スキップ %2 件</source>
        <translation>%1 converted, %2 skipped</translation>
    </message>
    <message>
        <source>変換が完了しました（%1）。</source>
        <translation>The conversion is complete (%1).</translation>
    </message>
    <message>
        <source>変換を中止しました（%1）。</source>
        <translation>The conversion was stopped (%1).</translation>
    </message>
    <message>
        <source>変換をキャンセルしました（%1）。</source>
        <translation>The conversion was cancelled (%1).</translation>
    </message>
    <message>
        <source>エラーのため変換を終了しました（%1）。</source>
        <translation>The conversion ended because of an error (%1).</translation>
    </message>
    <message>
        <source>ファイル名に拡張子がありません。</source>
        <translation>The file name has no extension.</translation>
    </message>
    <message>
        <source>この形式では画像を書き込めません。</source>
        <translation>The image cannot be written in this format.</translation>
    </message>
    <message>
        <source>画像の変換機能の読み込みに失敗しました。</source>
        <translation>The image conversion engine could not be loaded.</translation>
    </message>
    <message>
        <source>画像ファイルの読み出しに失敗しました。</source>
        <translation>The image file could not be read.</translation>
    </message>
    <message>
        <source>配置の基準が異常です。</source>
        <translation>The anchor is invalid.</translation>
    </message>
    <message>
        <source>画像ファイルの書き込みに失敗しました。</source>
        <translation>The image file could not be written.</translation>
    </message>
    <message>
        <source>保存フォルダが存在しません。
%1
このフォルダを作成しますか？</source>
        <translation>The output folder does not exist.
%1
Do you want to create this folder?</translation>
    </message>
    <message>
        <source>変換できなかったファイルがあります。ほかのファイルは変換しました。</source>
        <translation>Some files could not be converted. The other files were converted.</translation>
    </message>
    <message>
        <source>ほかに %1 件あります。</source>
        <translation>There are %1 more.</translation>
    </message>
    <message>
        <source>保存フォルダが存在しません。
%1
作成するには --mkdir を指定してください。</source>
        <translation>The output folder does not exist.
%1
Give --mkdir to create it.</translation>
    </message>
    <message>
        <source>警告: 画像ファイルのデータが壊れていたため、読み出せなかった部分を補って変換しました: %1</source>
        <translation>Warning: the image file&apos;s data was damaged; the part that could not be read was filled in and the file converted: %1</translation>
    </message>
    <message>
        <source>すでに同じ名前のファイルが存在するため、実行を中止しました。
%1
上書きするかどうかは --overwrite ask|all|skip|cancel で指定できます。</source>
        <translation>The run was stopped because a file of the same name already exists.
%1
Whether to overwrite can be given with --overwrite ask|all|skip|cancel.</translation>
    </message>
    <message>
        <source>
すでに同じ名前のファイルが存在します。
%1
上書き [o] / 全て上書き [a] / スキップ [s] / キャンセル [c] / 全てスキップ [k]: </source>
        <translation>
A file of the same name already exists.
%1
Overwrite [o] / Overwrite all [a] / Skip [s] / Cancel [c] / Skip all [k]: </translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>プリセットデータの読み出しに失敗しました。</source>
        <translation>The preset data could not be read.</translation>
    </message>
    <message>
        <source>プリセットデータの読み出しでエラーが発生しました。</source>
        <translation>An error occurred while reading the preset data.</translation>
    </message>
    <message>
        <source>プリセットデータの読み出しでエラーが発生しました。（%1 回）</source>
        <translation>An error occurred while reading the preset data. (%1 times)</translation>
    </message>
    <message>
        <source>プリセットの保存に失敗しました。</source>
        <translation>The presets could not be saved.</translation>
    </message>
    <message>
        <source>プリセットを保存しました。読み出しでエラーが発生した元のファイルは KVPreset.csv.bak として残してあります。</source>
        <translation>The presets were saved. The original file, whose reading had errors, is kept as KVPreset.csv.bak.</translation>
    </message>
    <message>
        <source>幅(mm)は 1～3000 の範囲で指定してください。</source>
        <translation>Please give the width (mm) from 1 to 3000.</translation>
    </message>
    <message>
        <source>高さ(mm)は 1～3000 の範囲で指定してください。</source>
        <translation>Please give the height (mm) from 1 to 3000.</translation>
    </message>
    <message>
        <source>計算用DPIは 1～10000 の範囲で指定してください。</source>
        <translation>Please give the DPI for the calculation from 1 to 10000.</translation>
    </message>
    <message>
        <source>プリセット名を設定してください。</source>
        <translation>Please set a preset name.</translation>
    </message>
    <message>
        <source>JFIF セグメントがないため、解像度を書き込めません。korvale-cli run --method dpi-only で書き込めます。</source>
        <translation>The resolution cannot be written because there is no JFIF segment. korvale-cli run --method dpi-only can write it.</translation>
    </message>
    <message>
        <source>解像度を書き込める位置が見つかりませんでした。</source>
        <translation>No place to write the resolution was found.</translation>
    </message>
    <message>
        <source>この形式では、再圧縮なしで解像度だけを変更することはできません。「拡大縮小」か「等倍で切り貼り」で保存してください。</source>
        <translation>The resolution of this format cannot be changed without compressing it again. Please save with “Scale” or “Crop/pad at 1:1”.</translation>
    </message>
    <message>
        <source>次の画像ファイルはデータが壊れていたため、読み出せなかった部分を補って変換しました。</source>
        <translation>The data of the following image files was damaged; the parts that could not be read were filled in and the files converted.</translation>
    </message>
    <message>
        <source>ほか %1 個</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>拡張子がないため、出力ファイル名を決められません。</source>
        <translation>The output file name cannot be decided because the file has no extension.</translation>
    </message>
    <message>
        <source>画像ファイルを読み込めません。</source>
        <translation>The image file cannot be read.</translation>
    </message>
    <message>
        <source>幅または高さが 0 です。</source>
        <translation>The width or height is 0.</translation>
    </message>
    <message>
        <source>出力先に同じ名前のフォルダがあります。</source>
        <translation>A folder of the same name is where the output would go.</translation>
    </message>
    <message>
        <source>この大きさの画像は出力形式では書き込めません。</source>
        <translation>An image of this size cannot be written in the output format.</translation>
    </message>
    <message>
        <source>%1 番のファイルと出力ファイルが重なるため、実行できません。</source>
        <translation>It cannot run, because its output file is the same as that of file %1.</translation>
    </message>
    <message>
        <source>上</source>
        <translation>top</translation>
    </message>
    <message>
        <source>下</source>
        <translation>bottom</translation>
    </message>
    <message>
        <source>左</source>
        <translation>left</translation>
    </message>
    <message>
        <source>右</source>
        <translation>right</translation>
    </message>
    <message>
        <source>解像度のみ変更</source>
        <translation>resolution only</translation>
    </message>
    <message>
        <source>等倍</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>横 %1 / 縦 %2</source>
        <translation>across %1 / down %2</translation>
    </message>
    <message>
        <source>、余白 %1</source>
        <translation>, margins %1</translation>
    </message>
    <message>
        <source>、切り取り %1</source>
        <translation>, cut %1</translation>
    </message>
    <message>
        <source>、出力 %1</source>
        <translation>, output %1</translation>
    </message>
    <message>
        <source>、%1 DPI、印刷サイズ %2×%3 mm</source>
        <translation>, %1 DPI, print size %2×%3 mm</translation>
    </message>
    <message>
        <source>、DPI なし（印刷サイズは決まりません）</source>
        <translation>, no DPI (no print size)</translation>
    </message>
    <message>
        <source>。%1</source>
        <translation>. %1</translation>
    </message>
    <message>
        <source>。%1 は既にあり、実行時に上書きを確認します。</source>
        <translation>. %1 already exists; you will be asked before it is overwritten.</translation>
    </message>
    <message>
        <source>出力ファイルが重なる画像があるため、変換を開始できません。</source>
        <translation>Some images would be written to the same output file, so the conversion cannot start.</translation>
    </message>
    <message>
        <source>%1 と %2 は、どちらも %3 に書き込まれます。</source>
        <translation>%1 and %2 would both be written to %3.</translation>
    </message>
    <message>
        <source>%1 の出力 %2 は、後で読み込む %3 を置き換えます。</source>
        <translation>The output %2 of %1 would replace %3, which is read later.</translation>
    </message>
    <message>
        <source>保存フォルダか出力形式を変えるか、重なるファイルをリストから外してください。</source>
        <translation>Please change the save folder or the output format, or remove the clashing files from the list.</translation>
    </message>
    <message>
        <source>他のユーザーも書き込めるフォルダにある、ほかのユーザーのシンボリックリンクです。安全のため、リンク先（%1）には書き込みません。</source>
        <translation>This is another user&apos;s symbolic link in a folder that other users can write to. For safety, its target (%1) is not written.</translation>
    </message>
    <message>
        <source>（リンク先: %1）</source>
        <translation>(link to: %1)</translation>
    </message>
    <message>
        <source>設定ファイルに書き込めませんでした。</source>
        <translation>The settings file could not be written.</translation>
    </message>
</context>
</TS>
