<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="en">
<context>
    <name>korvale-cli</name>
    <message>
        <source>cannot load %1: %2</source>
        <translation>%1 を読み込めません: %2</translation>
    </message>
    <message>
        <source>Try &apos;korvale-cli --help&apos;.</source>
        <translation>&apos;korvale-cli --help&apos; で使い方を表示できます。</translation>
    </message>
    <message>
        <source>-0 applies to --files-from</source>
        <translation>-0 は --files-from と一緒に指定してください</translation>
    </message>
    <message>
        <source>%1 needs at least one FILE</source>
        <translation>%1 には FILE を一つ以上指定してください</translation>
    </message>
    <message>
        <source>--files-from takes the files from its list; name no FILE beside it</source>
        <translation>--files-from はリストからファイルを取ります。FILE を一緒に指定しないでください</translation>
    </message>
    <message>
        <source>stamp needs a DPI and at least one FILE</source>
        <translation>stamp には DPI と、FILE を一つ以上指定してください</translation>
    </message>
    <message>
        <source>DPI must be a whole number from 0 to 10000, not &apos;%1&apos;</source>
        <translation>DPI は 0 から 10000 までの整数で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>stamp needs at least one FILE</source>
        <translation>stamp には FILE を一つ以上指定してください</translation>
    </message>
    <message>
        <source>Usage: korvale-cli COMMAND [ARGUMENTS]

Commands:
  probe FILE...       print width, height and DPI read from each file&apos;s header
                      (path, tab, then &apos;ok&apos; and the three numbers, or &apos;unreadable&apos;)
  stamp DPI FILE...   patch DPI (0 to 10000) into each file&apos;s header in place, without
                      re-encoding; prints &apos;stamped&apos; or &apos;unchanged&apos; for each file
  stats FILE...       list the files as the window does (probe, sort, duplicates; the
                      window&apos;s messages on standard error), then one row per file (No.,
                      name, width, height, DPI), &apos;files&apos; with the count, and the minimum,
                      maximum, average and mode of width, height and dpi
  presets             list the presets as the window loads them (index, name, width,
                      height, DPI; tab-separated); creates the preset file from the
                      default one on first use; load problems go to standard error;
                      tabs, line ends and backslashes in names show as \t \n \r \\
  options             print the options the window would start with, one Name=value
                      line per stored value; reads the window&apos;s settings, never writes
                      them
  run [OPTIONS] FILE...
                      convert the files into one folder, as the window&apos;s run does
  plan [OPTIONS] [--json] FILE...
                      print what run with the same options would do to each file, writing
                      nothing: a heading row, then one tab-separated row per file (source,
                      output name, size and DPI, scale, margins, print size, whether the
                      output exists, the problem that would stop the run), or with --json
                      a JSON array of one object per file

Every command that takes FILEs also takes --recursive before them: a named folder then
brings the image files (by extension, any letter case) inside it and all its subfolders,
hidden ones (a leading dot) left out and each folder walked once however many links lead
to it; without it a folder is reported as one and skipped.

Options of run (a given width, height or DPI turns its switch on; without --settings
the others are off, so the source&apos;s own value is kept):
  --width N, --height N   target size in pixels, 32 to 65535
  --dpi N                 target resolution, 0 to 10000
  --preset NAME           the preset&apos;s width, height and DPI, all three switched on
  --settings              start from the window&apos;s stored options, then apply the flags
  --method resize|crop    scale (default), or paste at 1:1 onto the canvas and cut
  --method dpi-only       copy each file under its own name with only its DPI set, no
                          re-encoding (size, interpolation and format are ignored)
  --interpolation nearest|area|bilinear|bicubic|lanczos4   (default lanczos4)
  --keep-aspect           keep the proportions, filling the rest with the margin colour
  --anchor A              0 to 8, or top-left, top-centre, top-right, middle-left, centre,
                          middle-right, bottom-left, bottom-centre, bottom-right
  --margin R,G,B|#RRGGBB  margin colour (default white)
  --format bmp|jpeg|png|tiff|webp|avif|source   output format (default: the
                          source&apos;s own); PNG and TIFF keep 16 bits per channel and
                          alpha, WebP and AVIF 8 bits and alpha, BMP and JPEG blend
                          alpha onto the margin colour
  --quality N             JPEG, WebP and AVIF quality, 0 to 100 (default 95); WebP
                          at 100 is lossless
  --metadata none|no-gps|all   what an output keeps of its source&apos;s Exif, XMP and IPTC
                          besides its colour profile: nothing, all but the place (GPS,
                          city, country; default), all
  --to-srgb               convert the colours of sources with another colour profile
                          (Display P3, Adobe RGB) into sRGB and give their outputs the
                          sRGB profile (CMYK sources always become sRGB)
  --output DIR            output folder (required)
  --mkdir                 create the output folder when it does not exist (otherwise a
                          missing folder is reported and nothing is converted)
  --overwrite ask|all|skip|cancel   when an output exists (default: ask on a terminal,
                          otherwise cancel, so nothing is replaced unasked)
  --overwrite newer       keep an output that is newer than its source (counted as
                          skipped) and replace an older one: a killed run started again
                          does only what is left
  --keep-tree             repeat the sources&apos; folders below the output folder, from the
                          deepest folder that holds every file
  --on-clash refuse|number   outputs that two files would share: refuse the run
                          (default), or name the later ones &quot;name (2).jpg&quot;, ...
  --keep-going            skip a file that cannot be read or written and go on; each
                          such file is printed on a line of its own, exit status 1
  --quiet                 no progress and no completion message
  --recursive             take the image files inside named folders (see above)
  Ctrl-C stops after the image in hand.

Lists, shards and reports, for programs that drive many runs (GNU parallel, Slurm):
  --files-from LIST       take the files from LIST (&apos;-&apos;: standard input), one path per
                          line, empty lines left out (run, plan, probe, stats; no FILE
                          beside it). For run and plan the list is read as a stream in
                          its own order, without the 10000 limit; a file listed twice is
                          done once, and names and clashes are decided over the whole list
  -0, --null              paths in LIST (and in --failed-list) end with a NUL byte, as
                          find -print0 writes them
  --shard K/N             only the paths whose FNV-1a hash (64 bits, over the path&apos;s bytes
                          as listed) modulo N is K-1 (run, plan): N runs given the same
                          list do each file once
  --json                  run: one JSON object per file on standard output as it ends
                          (source, output, status written|skipped|failed, reason, width,
                          height, dpi, ms), then one with the counts and the time
  --failed-list FILE      run: write the files that failed (refused when listed, too) to
                          FILE, ready for the next --files-from
  With any of these, run takes the files in the order given, says each refused one on
  standard error and counts it as failed, and says so when it is stopped.

Options of plan (every option of run, with --output optional, and this one):
  --json                  print a JSON array, one object per file, instead of the table

Options:
  --help              show this help
  --version           show the version and the OpenCV version linked

Exit status: 0 success, 1 some file failed, a check before a run failed, or the preset
file had problems (presets, options: what could be read is still printed), 2 usage
error, 3 run stopped or cancelled.
</source>
        <translation>使い方: korvale-cli コマンド [引数]

コマンド:
  probe FILE...       各ファイルのヘッダーから読んだ幅、高さ、DPI を表示します
                      （パス、タブ、続いて &apos;ok&apos; と三つの数、または &apos;unreadable&apos;）
  stamp DPI FILE...   各ファイルのヘッダーの DPI（0～10000）を、再エンコードせずにその場で
                      書き換えます。ファイルごとに &apos;stamped&apos; または &apos;unchanged&apos; を表示します
  stats FILE...       ウィンドウと同じようにファイルを並べ（読み取り、並べ替え、重複。
                      ウィンドウのメッセージは標準エラーへ）、ファイルごとに 1 行（No.、名前、
                      幅、高さ、DPI）、件数を示す &apos;files&apos;、続いて幅・高さ・DPI の最小値、
                      最大値、平均値、最頻値を表示します
  presets             ウィンドウが読み込むとおりにプリセットを一覧します（番号、名前、幅、
                      高さ、DPI をタブ区切りで）。初回は既定のファイルからプリセットファイルを
                      作成します。読み込みの問題は標準エラーへ出ます。名前の中のタブ、改行、
                      バックスラッシュは \t \n \r \\ と表示します
  options             ウィンドウが起動時に使う設定を、保存された値ごとに Name=value の 1 行で
                      表示します。ウィンドウの設定を読むだけで、書き込みはしません
  run [OPTIONS] FILE...
                      ウィンドウの実行と同じように、ファイルを一つのフォルダに変換します
  plan [OPTIONS] [--json] FILE...
                      同じオプションの run が各ファイルに何をするかを、何も書き込まずに表示
                      します。見出しの行に続いてファイルごとにタブ区切りの 1 行（元ファイル、
                      出力名、大きさと DPI、倍率、余白、印刷サイズ、出力がすでにあるか、実行を
                      止める問題）、--json のときはファイルごとのオブジェクトの JSON 配列です

FILE を取るどのコマンドも、その前に --recursive を取ります。指定したフォルダの中と、そのすべての
サブフォルダの中の画像ファイル（拡張子で判断、大文字小文字は問いません）を対象にします。隠し
フォルダ・隠しファイル（先頭がドット）は除き、いくつのリンクが指していても各フォルダは一度だけ
たどります。指定しないときは、フォルダはフォルダとして報告し、飛ばします。

run のオプション（幅、高さ、DPI を指定すると、そのスイッチがオンになります。--settings が
ないときはほかはオフで、元の値がそのまま残ります）:
  --width N, --height N   目標の大きさ（ピクセル）、32～65535
  --dpi N                 目標の解像度、0～10000
  --preset NAME           プリセットの幅、高さ、DPI。三つともオンになります
  --settings              ウィンドウに保存された設定から始め、そのうえでフラグを適用します
  --method resize|crop    拡大縮小（既定）、または等倍でキャンバスに貼り付けて切り取ります
  --method dpi-only       各ファイルを同じ名前で、DPI だけを設定してコピーします。再エンコード
                          しません（大きさ、補間法、形式は無視します）
  --interpolation nearest|area|bilinear|bicubic|lanczos4   （既定 lanczos4）
  --keep-aspect           縦横比を保ち、残りを余白の色で埋めます
  --anchor A              0～8、または top-left, top-centre, top-right, middle-left, centre,
                          middle-right, bottom-left, bottom-centre, bottom-right
  --margin R,G,B|#RRGGBB  余白の色（既定は白）
  --format bmp|jpeg|png|tiff|webp|avif|source   出力形式（既定: 元のファイルの
                          形式）。PNG と TIFF はチャンネルあたり 16 ビットとアルファを、
                          WebP と AVIF は 8 ビットとアルファを保ち、BMP と JPEG はアルファを
                          余白の色に合成します
  --quality N             JPEG、WebP、AVIF の品質、0～100（既定 95）。WebP は 100 で
                          可逆圧縮になります
  --metadata none|no-gps|all   出力が元のファイルの Exif、XMP、IPTC のうち、カラープロファイル
                          のほかに何を残すか: 何も残さない、場所（GPS、都市、国）以外のすべて
                          （既定）、すべて
  --to-srgb               ほかのカラープロファイル（Display P3、Adobe RGB）を持つ元のファイルの
                          色を sRGB に変換し、出力に sRGB のプロファイルを付けます（CMYK の
                          ファイルは常に sRGB になります）
  --output DIR            保存フォルダ（必須）
  --mkdir                 保存フォルダがないときに作成します（指定しないときは、フォルダが
                          ないことを報告し、何も変換しません）
  --overwrite ask|all|skip|cancel   出力がすでにあるとき（既定: 端末では確認し、それ以外では
                          キャンセルするので、確認なしに置き換えることはありません）
  --overwrite newer       元のファイルより新しい出力は残し（スキップとして数えます）、古い出力は
                          置き換えます。中断された実行をもう一度始めると、残りだけを行います
  --keep-tree             元のファイルのフォルダ構成を、すべてのファイルを含む最も深いフォルダ
                          から、保存フォルダの下に再現します
  --on-clash refuse|number   二つのファイルの出力が重なるとき: 実行を断る（既定）、または後の
                          ものを &quot;name (2).jpg&quot;, ... と名付けます
  --keep-going            読み取れない、または書き込めないファイルを飛ばして続けます。そのような
                          ファイルはそれぞれ 1 行に表示し、終了ステータスは 1 です
  --quiet                 進行状況と完了のメッセージを表示しません
  --recursive             指定したフォルダの中の画像ファイルを対象にします（上記参照）
  Ctrl-C を押すと、処理中の画像のあとで止まります。

多くの実行を動かすプログラム（GNU parallel、Slurm）のための、リスト、シャード、レポート:
  --files-from LIST       LIST（&apos;-&apos;: 標準入力）からファイルを取ります。1 行に一つのパスで、
                          空の行は除きます（run, plan, probe, stats。FILE と一緒には指定
                          しません）。run と plan ではリストを順にストリームとして読み、10000 の
                          上限はありません。2 回書かれたファイルは一度だけ処理し、名前と重なりは
                          リスト全体で決めます
  -0, --null              LIST（と --failed-list）のパスは、find -print0 が書くように NUL
                          バイトで終わります
  --shard K/N             パスの FNV-1a ハッシュ（64 ビット、書かれたとおりのパスのバイトに
                          対して）を N で割った余りが K-1 のパスだけを扱います（run, plan）。
                          同じリストを渡した N 回の実行で、各ファイルを一度ずつ処理します
  --json                  run: ファイルが終わるごとに、標準出力にファイルごとの JSON オブジェクト
                          （source, output, status written|skipped|failed, reason, width,
                          height, dpi, ms）、最後に件数と時間のオブジェクトを出します
  --failed-list FILE      run: 失敗したファイル（リストの時点で断られたものも）を FILE に書き、
                          次の --files-from にそのまま使えるようにします
  これらのどれかを指定すると、run は指定された順にファイルを扱い、断ったファイルをそれぞれ
  標準エラーに出して失敗として数え、止められたときはそう伝えます。

plan のオプション（run のすべてのオプション。--output は省略でき、さらに次のもの）:
  --json                  表の代わりに、ファイルごとに一つのオブジェクトの JSON 配列を表示します

オプション:
  --help              このヘルプを表示します
  --version           バージョンと、リンクしている OpenCV のバージョンを表示します

終了ステータス: 0 成功、1 失敗したファイルがある、実行前の確認に失敗した、またはプリセット
ファイルに問題があった（presets, options: 読めた分は表示します）、2 使い方の誤り、3 実行を
中止またはキャンセルした。
</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>&apos;%1&apos; というコマンドはありません</translation>
    </message>
    <message>
        <source>presets takes no arguments</source>
        <translation>presets に引数は指定できません</translation>
    </message>
    <message>
        <source>options takes no arguments</source>
        <translation>options に引数は指定できません</translation>
    </message>
    <message>
        <source>standard input</source>
        <translation>標準入力</translation>
    </message>
    <message>
        <source>is a folder, not a list of files</source>
        <translation>フォルダです。ファイルのリストではありません</translation>
    </message>
    <message>
        <source>not open</source>
        <translation>開かれていません</translation>
    </message>
    <message>
        <source>path %1 holds a NUL byte; a list ended by NUL bytes is read with -0</source>
        <translation>%1 番目のパスに NUL バイトがあります。NUL バイトで区切られたリストは -0 を指定して読んでください</translation>
    </message>
    <message>
        <source>--shard is K/N with 1 &lt;= K &lt;= N (the K-th of N shards), not &apos;%1&apos;</source>
        <translation>--shard は 1 &lt;= K &lt;= N の K/N（N 個のシャードのうち K 番目）で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 には値を指定してください</translation>
    </message>
    <message>
        <source>--files-from needs a FILE (&apos;-&apos; for standard input)</source>
        <translation>--files-from には FILE を指定してください（標準入力は &apos;-&apos;）</translation>
    </message>
    <message>
        <source>--failed-list belongs to run</source>
        <translation>--failed-list は run のオプションです</translation>
    </message>
    <message>
        <source>plan needs at least one FILE</source>
        <translation>plan には FILE を一つ以上指定してください</translation>
    </message>
    <message>
        <source>run needs at least one FILE</source>
        <translation>run には FILE を一つ以上指定してください</translation>
    </message>
    <message>
        <source>%1 takes a whole number, not &apos;%2&apos;</source>
        <translation>%1 には整数を指定してください（&apos;%2&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--failed-list needs a FILE</source>
        <translation>--failed-list には FILE を指定してください</translation>
    </message>
    <message>
        <source>--method is resize, crop or dpi-only, not &apos;%1&apos;</source>
        <translation>--method は resize、crop、dpi-only のどれかで指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--interpolation is nearest, area, bilinear, bicubic or lanczos4, not &apos;%1&apos;</source>
        <translation>--interpolation は nearest、area、bilinear、bicubic、lanczos4 のどれかで指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--anchor is 0 to 8 or a name such as top-left, centre or bottom-right, not &apos;%1&apos;</source>
        <translation>--anchor は 0 から 8、または top-left、centre、bottom-right などの名前で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--margin is R,G,B (0 to 255 each) or #RRGGBB, not &apos;%1&apos;</source>
        <translation>--margin は R,G,B（それぞれ 0 から 255）または #RRGGBB で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--format is bmp, jpeg, png, tiff, webp, avif or source, not &apos;%1&apos;</source>
        <translation>--format は bmp、jpeg、png、tiff、webp、avif、source のどれかで指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--metadata is none, no-gps or all, not &apos;%1&apos;</source>
        <translation>--metadata は none、no-gps、all のどれかで指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--quality takes a whole number from 0 to 100, not &apos;%1&apos;</source>
        <translation>--quality は 0 から 100 までの整数で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--overwrite is ask, all, skip, cancel or newer, not &apos;%1&apos;</source>
        <translation>--overwrite は ask、all、skip、cancel、newer のどれかで指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>--on-clash is refuse or number, not &apos;%1&apos;</source>
        <translation>--on-clash は refuse または number で指定してください（&apos;%1&apos; は指定できません）</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>%1 というオプションはありません</translation>
    </message>
    <message>
        <source>--recursive does not apply to --files-from (list the files, as find -print0 does)</source>
        <translation>--recursive は --files-from と一緒には使えません（find -print0 のように、ファイルをリストに書いてください）</translation>
    </message>
    <message>
        <source>-0 applies to --files-from and --failed-list</source>
        <translation>-0 は --files-from または --failed-list と一緒に指定してください</translation>
    </message>
    <message>
        <source>no preset is named &apos;%1&apos;</source>
        <translation>&apos;%1&apos; という名前のプリセットはありません</translation>
    </message>
</context>
</TS>
