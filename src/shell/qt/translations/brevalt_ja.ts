<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>brevalt</name>
    <message>
        <source>The sensor could not be started: %1</source>
        <translation>センサーを起動できませんでした: %1</translation>
    </message>
    <message>
        <source>The sensor could not be started: no executable "snort" beside Brevalt or on PATH</source>
        <translation>センサーを起動できませんでした: Brevalt と同じフォルダーにも PATH 上にも実行ファイル "snort" がありません</translation>
    </message>
    <message>
        <source>The sensor ended by itself (exit status %1)</source>
        <translation>センサーが自ら終了しました (終了ステータス %1)</translation>
    </message>
    <message>
        <source>The sensor ended by itself (killed by signal %1)</source>
        <translation>センサーが自ら終了しました (シグナル %1 で強制終了)</translation>
    </message>
    <message>
        <source>The sensor ended by itself</source>
        <translation>センサーが自ら終了しました</translation>
    </message>
    <message>
        <source>The sensor ended within a minute of its start %1 times in a row; it is not started again until "Snort実行" or the next rotation</source>
        <translation>センサーが起動から 1 分以内の終了を %1 回続けました。「Snort実行」か次の切り替えまで再起動しません</translation>
    </message>
    <message>
        <source>The sensor was started again</source>
        <translation>センサーを再び起動しました</translation>
    </message>
    <message>
        <source>The sensor left running by an earlier Brevalt (process %1) is watched again</source>
        <translation>以前の Brevalt が実行したままにしたセンサー (プロセス %1) の監視を再開しました</translation>
    </message>
    <message>
        <source>The sensor already runs (process %1): no second one is started</source>
        <translation>センサーは既に実行中です (プロセス %1)。2 つ目は起動しません</translation>
    </message>
    <message>
        <source>The rotation time %1 passed unseen (the clock went from %2 to %3): the logs are rotated now</source>
        <translation>切り替え時刻 %1 が見過ごされました (時計が %2 から %3 に進みました)。今ログを切り替えます</translation>
    </message>
    <message>
        <source>The logs were rotated: %1, %2</source>
        <translation>ログを切り替えました: %1, %2</translation>
    </message>
    <message>
        <source>%1 kept its name: %2 exists already</source>
        <translation>%1 の名前はそのままです: %2 が既にあります</translation>
    </message>
    <message>
        <source>%1 could not be renamed to %2: %3</source>
        <translation>%1 の名前を %2 に変更できませんでした: %3</translation>
    </message>
    <message>
        <source>The log folder's file system is nearly full: %1 MiB free (%2%)</source>
        <translation>ログフォルダーのファイルシステムの空きが残りわずかです: 空き %1 MiB (%2%)</translation>
    </message>
    <message>
        <source>Brevalt: sensor running since %1, next rotation %2</source>
        <translation>Brevalt: センサー実行中 (%1 から)、次の切り替え %2</translation>
    </message>
    <message>
        <source>Brevalt: sensor stopped (停止), next rotation %1</source>
        <translation>Brevalt: センサー停止中 (停止)、次の切り替え %1</translation>
    </message>
    <message>
        <source>Brevalt: sensor given up after %1 quick ends, next rotation %2</source>
        <translation>Brevalt: センサーは %1 回続けてすぐ終了したため再起動中止、次の切り替え %2</translation>
    </message>
    <message>
        <source>Brevalt: sensor could not be started, next rotation %1</source>
        <translation>Brevalt: センサーを起動できません、次の切り替え %1</translation>
    </message>
    <message>
        <source>Brevalt: sensor ended, restarted at the next check, next rotation %1</source>
        <translation>Brevalt: センサー終了、次の確認で再起動、次の切り替え %1</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1", read from the current directory: %2</source>
        <translation>設定ファイル "%1" (現在のフォルダーから読みます) を使えません: %2</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": the file is empty (write the rotation time on its first line, for example 03:30)</source>
        <translation>設定ファイル "%1" を使えません: ファイルが空です (1 行目に切り替え時刻を書いてください。例: 03:30)</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": the first line holds no rotation time (expected HH:MM, e.g. 03:30)</source>
        <translation>設定ファイル "%1" を使えません: 1 行目に切り替え時刻がありません (HH:MM の形、例えば 03:30)</translation>
    </message>
    <message>
        <source>Only members of the group "%1" may run Brevalt: ask an administrator to run "adduser %2 %1", then log on again</source>
        <translation>グループ "%1" のメンバーだけが Brevalt を実行できます: 管理者に "adduser %2 %1" の実行を頼み、ログオンし直してください</translation>
    </message>
    <message>
        <source>Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again</source>
        <translation>グループ "Brevalt Operators" のメンバーだけが Brevalt を実行できます: 管理者に追加を頼み (net localgroup "Brevalt Operators" %1 /add)、ログオンし直してください</translation>
    </message>
    <message>
        <source>Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again, or start Brevalt as administrator</source>
        <translation>グループ "Brevalt Operators" のメンバーだけが Brevalt を実行できます: 管理者に追加を頼み (net localgroup "Brevalt Operators" %1 /add)、ログオンし直すか、Brevalt を管理者として起動してください</translation>
    </message>
    <message>
        <source>Another Brevalt already serves the log folder "%1", perhaps in another user's session. This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別の Brevalt が既にログフォルダー "%1" を担当しています (別のユーザーのセッションかもしれません)。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message>
        <source>Another Brevalt already serves the log folder "%1" (run by %2). This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別の Brevalt (%2 が実行) が既にログフォルダー "%1" を担当しています。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message>
        <source>The sensor left running on the log folder "%1" by another user's Brevalt (%2) may not be stopped by this user. This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別のユーザーの Brevalt (%2) がログフォルダー "%1" で実行したままにしたセンサーは、このユーザーには停止できません。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message>
        <source>Cannot make sure that no other Brevalt serves the log folder "%1": %2</source>
        <translation>他の Brevalt がログフォルダー "%1" を担当していないことを確かめられません: %2</translation>
    </message>
    <message>
        <source>Cannot make sure that no other Brevalt serves the log folder "%1": the folder is missing</source>
        <translation>他の Brevalt がログフォルダー "%1" を担当していないことを確かめられません: フォルダーがありません</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": line %2 "%3" is not of the form name=value</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3" は 名前=値 の形ではありません</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": line %2 "%3": keep takes the number of dates to keep, from 1 to 3650</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": keep には残す日付の数を 1 から 3650 で指定します</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": line %2 "%3": compress takes yes or no</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": compress には yes か no を指定します</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": %2 is given twice, on lines %3 and %4</source>
        <translation>設定ファイル "%1" を使えません: %2 が %3 行目と %4 行目の 2 回指定されています</translation>
    </message>
    <message>
        <source>The settings file "%1" names "%2" on line %3, which this version of Brevalt does not know: the line is ignored</source>
        <translation>設定ファイル "%1" の %3 行目の "%2" はこの版の Brevalt が知らない名前です: その行は無視します</translation>
    </message>
    <message>
        <source>The settings file "%1" is larger than 64 KiB: only its first 64 KiB are read</source>
        <translation>設定ファイル "%1" は 64 KiB を超えています: 先頭の 64 KiB だけを読みます</translation>
    </message>
    <message>
        <source>%1 dated logs older than the newest %2 dates were deleted; the oldest kept:%3</source>
        <translation>新しい %2 日付より古い日付付きログ %1 個を削除しました。残した最古のログ:%3</translation>
    </message>
    <message>
        <source>%1 dated logs were compressed</source>
        <translation>日付付きログ %1 個を圧縮しました</translation>
    </message>
    <message>
        <source>The dated log %1 could not be deleted: %2</source>
        <translation>日付付きログ %1 を削除できませんでした: %2</translation>
    </message>
    <message>
        <source>%1 dated logs, %2 the first, could not be deleted: %3</source>
        <translation>日付付きログ %1 個 (最初は %2) を削除できませんでした: %3</translation>
    </message>
    <message>
        <source>The dated log %1 could not be compressed: %2</source>
        <translation>日付付きログ %1 を圧縮できませんでした: %2</translation>
    </message>
    <message>
        <source>%1 dated logs, %2 the first, could not be compressed: %3</source>
        <translation>日付付きログ %1 個 (最初は %2) を圧縮できませんでした: %3</translation>
    </message>
    <message>
        <source>The log folder could not be read to keep its dated logs: %1</source>
        <translation>日付付きログの整理のためにログフォルダーを読めませんでした: %1</translation>
    </message>
    <message>
        <source>The log folder's volume cannot compress files: compress=yes is not carried out there</source>
        <translation>ログフォルダーのボリュームはファイルを圧縮できません: compress=yes はそこでは行いません</translation>
    </message>
    <message>
        <source>The log folder "%1" is served by the Brevalt of %2: this Brevalt starts no sensor and waits; it serves the folder itself once that one has ended</source>
        <translation>ログフォルダー "%1" は %2 の Brevalt が担当しています: この Brevalt はセンサーを起動せずに待ち、その Brevalt が終了したら自分で担当します</translation>
    </message>
    <message>
        <source>The sensor of %2 runs unwatched on the log folder "%1" (its Brevalt has ended): no rotation until it ends. This Brevalt waits and serves the folder itself once it has ended; %3 or an administrator can end it now (kill %4)</source>
        <translation>%2 のセンサーがログフォルダー "%1" で監視されずに動いています (その Brevalt は終了しています): 終了するまでログは切り替わりません。この Brevalt は待ち、センサーが終了したら自分で担当します。%3 または管理者が今すぐ終了できます (kill %4)</translation>
    </message>
    <message>
        <source>The log folder "%1" is served by this Brevalt now</source>
        <translation>ログフォルダー "%1" はこれからこの Brevalt が担当します</translation>
    </message>
    <message>
        <source>This Brevalt starts, stops and rotates nothing while another user's Brevalt or sensor serves the log folder (%1)</source>
        <translation>他のユーザーの Brevalt またはセンサーがログフォルダーを担当している間 (%1)、この Brevalt は起動も停止も切り替えもしません</translation>
    </message>
    <message>
        <source>Brevalt: no sensor of ours; the log folder is served by the Brevalt of %1</source>
        <translation>Brevalt: 自分のセンサーなし、ログフォルダーは %1 の Brevalt が担当</translation>
    </message>
    <message>
        <source>Brevalt: no sensor of ours; the sensor of %1 runs unwatched, no rotation until it ends</source>
        <translation>Brevalt: 自分のセンサーなし、%1 のセンサーが監視されずに動作中、終了するまで切り替えなし</translation>
    </message>
    <message>
        <source>The dated log %1 is not compressed: %2 exists already and was not made from it; both are kept</source>
        <translation>日付付きログ %1 は圧縮しません: %2 が既にあり、%1 から作られたものではありません。両方とも残します</translation>
    </message>
    <message>
        <source>The dated log %1 was written to or in use by another program while it was to be compressed: it is kept whole and compressed at a later pass</source>
        <translation>日付付きログ %1 は圧縮の間に書き込まれたか、他のプログラムが使用中でした: そのまま残し、後で圧縮します</translation>
    </message>
    <message>
        <source>The clock seems to be behind: the logs were rotated to %1, but %2 is already in the log folder; the logs just rotated are never deleted by keep</source>
        <translation>時計が遅れているようです: ログを %1 に切り替えましたが、ログフォルダーには既に %2 があります。切り替えたばかりのログは keep で削除しません</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": line %2 holds text in UTF-16 (as Windows PowerShell 5.1 appends it) among text in another encoding; save the file as UTF-8</source>
        <translation>設定ファイル "%1" を使えません: %2 行目に UTF-16 のテキスト (Windows PowerShell 5.1 が追記する形) が別のエンコーディングのテキストに混じっています。ファイルを UTF-8 で保存してください</translation>
    </message>
    <message>
        <source>Cannot use the settings file "%1": line %2 "%3": metrics takes an absolute path ending in .prom</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": metrics には .prom で終わる絶対パスを指定します</translation>
    </message>
    <message>
        <source>The metrics file "%1" could not be written: %2. Brevalt tries again at each check; the sensor runs on</source>
        <translation>メトリクスファイル "%1" を書けませんでした: %2。Brevalt は確認のたびに再試行します。センサーは動き続けます</translation>
    </message>
    <message>
        <source>The metrics file "%1" is written again</source>
        <translation>メトリクスファイル "%1" を再び書けるようになりました</translation>
    </message>
    <message>
        <source>The rotation time "%1" never matches: the first line of the settings file must be HH:MM, two digits each, from 00:00 to 23:59 (for example 03:30). The sensor runs, but the logs are not rotated</source>
        <translation>切り替え時刻 "%1" は一致することがありません: 設定ファイルの 1 行目は HH:MM (各 2 桁、00:00 から 23:59、例: 03:30) です。センサーは実行しますが、ログは切り替えません</translation>
    </message>
    <message>
        <source>Brevalt: sensor running since %1, no rotation is scheduled</source>
        <translation>Brevalt: センサー実行中 (%1 から)、切り替えの予定なし</translation>
    </message>
    <message>
        <source>Brevalt: sensor stopped (停止), no rotation is scheduled</source>
        <translation>Brevalt: センサー停止中 (停止)、切り替えの予定なし</translation>
    </message>
    <message>
        <source>Brevalt: sensor given up after %1 quick ends, no rotation is scheduled</source>
        <translation>Brevalt: センサーは %1 回続けてすぐ終了したため再起動中止、切り替えの予定なし</translation>
    </message>
    <message>
        <source>Brevalt: sensor could not be started, no rotation is scheduled</source>
        <translation>Brevalt: センサーを起動できません、切り替えの予定なし</translation>
    </message>
    <message>
        <source>Brevalt: sensor ended, restarted at the next check, no rotation is scheduled</source>
        <translation>Brevalt: センサー終了、次の確認で再起動、切り替えの予定なし</translation>
    </message>
    <message>
        <source>The log folder "%1" does not exist: the logs cannot be rotated until it is made</source>
        <translation>ログフォルダー "%1" がありません: 作成するまでログを切り替えられません</translation>
    </message>
    <message>
        <source>The logs could not be rotated: the log folder "%1" does not exist</source>
        <translation>ログを切り替えられませんでした: ログフォルダー "%1" がありません</translation>
    </message>
    <message>
        <source>Brevalt started: sensor process %1, log folder "%2", next rotation %3</source>
        <translation>Brevalt を起動しました: センサーのプロセス %1、ログフォルダー "%2"、次の切り替え %3</translation>
    </message>
    <message>
        <source>Brevalt started: sensor process %1 (taken over), log folder "%2", next rotation %3</source>
        <translation>Brevalt を起動しました: センサーのプロセス %1 (引き継ぎ)、ログフォルダー "%2"、次の切り替え %3</translation>
    </message>
    <message>
        <source>none (the time "%1" never matches)</source>
        <translation>なし (時刻 "%1" は一致しません)</translation>
    </message>
    <message>
        <source>The sensor ended by itself (exit status %1); its last words in %2: %3</source>
        <translation>センサーが自ら終了しました (終了ステータス %1)。%2 の最後の行: %3</translation>
    </message>
    <message>
        <source>The sensor ended by itself (killed by signal %1); its last words in %2: %3</source>
        <translation>センサーが自ら終了しました (シグナル %1 で強制終了)。%2 の最後の行: %3</translation>
    </message>
    <message>
        <source>The sensor ended by itself; its last words in %1: %2</source>
        <translation>センサーが自ら終了しました。%1 の最後の行: %2</translation>
    </message>
<message>
        <source>Brevalt starts no sensor on "%1" and waits: the log folder is held by a process Brevalt does not know; no rotation until it lets go. This Brevalt serves the folder itself within a tick once it does; on Linux "fuser -v %1" or "lsof %1" shows which process holds it</source>
        <translation>Brevalt は "%1" でセンサーを起動せずに待ちます: ログフォルダーは Brevalt の知らないプロセスが保持しています。解放されるまでログの切り替えは行いません。解放されると 1 ティック以内にこの Brevalt 自身がフォルダーを担当します。Linux では "fuser -v %1" または "lsof %1" で保持しているプロセスがわかります</translation>
    </message>
    <message>
        <source>This Brevalt starts, stops and rotates nothing while a process it does not know holds the log folder</source>
        <translation>知らないプロセスがログフォルダーを保持している間、この Brevalt は起動・停止・切り替えを行いません</translation>
    </message>
    <message>
        <source>Brevalt: no sensor of ours; the log folder is held by a process Brevalt does not know; no rotation until it lets go</source>
        <translation>Brevalt: 自分のセンサーはありません。ログフォルダーは Brevalt の知らないプロセスが保持しています。解放されるまで切り替えはありません</translation>
    </message>
    <message>
        <source>Brevalt cannot write down in the log folder "%1" which sensor it watches (%2): it goes on serving the folder, but if it ends, a later Brevalt cannot take its sensor over and waits for it instead</source>
        <translation>Brevalt はログフォルダー "%1" に監視中のセンサーを記録できません (%2)。フォルダーの担当は続けますが、この Brevalt が終了すると、後の Brevalt はそのセンサーを引き継げず、終了するまで待ちます</translation>
    </message>
    <message>
        <source>The log folder "%1" is on a network file system: the claim that keeps one sensor per folder holds on this machine only. Two machines must not share this folder; give each machine a log folder of its own</source>
        <translation>ログフォルダー "%1" はネットワークファイルシステム上にあります: フォルダーごとにセンサーを 1 つに保つ確保はこのマシン内でしか効きません。2 台のマシンでこのフォルダーを共有しないでください。マシンごとに専用のログフォルダーを用意してください</translation>
    </message>
</context>
</TS>
