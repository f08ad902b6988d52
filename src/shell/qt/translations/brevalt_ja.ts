<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>brevalt</name>
    <message id="sensor_start_failed">
        <source>The sensor could not be started: %1</source>
        <translation>センサーを起動できませんでした: %1</translation>
    </message>
    <message id="sensor_not_found">
        <source>The sensor could not be started: no executable "snort" beside Brevalt or on PATH</source>
        <translation>センサーを起動できませんでした: Brevalt と同じフォルダーにも PATH 上にも実行ファイル "snort" がありません</translation>
    </message>
    <message id="sensor_exited">
        <source>The sensor ended by itself (exit status %1)</source>
        <translation>センサーが自ら終了しました (終了ステータス %1)</translation>
    </message>
    <message id="sensor_signalled">
        <source>The sensor ended by itself (killed by signal %1)</source>
        <translation>センサーが自ら終了しました (シグナル %1 で強制終了)</translation>
    </message>
    <message id="sensor_ended">
        <source>The sensor ended by itself</source>
        <translation>センサーが自ら終了しました</translation>
    </message>
    <message id="sensor_given_up">
        <source>The sensor ended within a minute of its start %1 times in a row; it is not started again until "Snort実行" or the next rotation</source>
        <translation>センサーが起動から 1 分以内の終了を %1 回続けました。「Snort実行」か次の切り替えまで再起動しません</translation>
    </message>
    <message id="sensor_started_again">
        <source>The sensor was started again</source>
        <translation>センサーを再び起動しました</translation>
    </message>
    <message id="sensor_taken_over">
        <source>The sensor left running by an earlier Brevalt (process %1) is watched again</source>
        <translation>以前の Brevalt が実行したままにしたセンサー (プロセス %1) の監視を再開しました</translation>
    </message>
    <message id="sensor_already_runs">
        <source>The sensor already runs (process %1): no second one is started</source>
        <translation>センサーは既に実行中です (プロセス %1)。2 つ目は起動しません</translation>
    </message>
    <message id="rotation_caught_up">
        <source>The rotation time %1 passed unseen (the clock went from %2 to %3): the logs are rotated now</source>
        <translation>切り替え時刻 %1 が見過ごされました (時計が %2 から %3 に進みました)。今ログを切り替えます</translation>
    </message>
    <message id="logs_rotated">
        <source>The logs were rotated: %1, %2</source>
        <translation>ログを切り替えました: %1, %2</translation>
    </message>
    <message id="log_kept_name">
        <source>%1 kept its name: %2 exists already. The logs are rotated once per date: to rotate again today, move or rename %2 first</source>
        <translation>%1 の名前はそのままです: %2 が既にあります。ログの切り替えは日付ごとに 1 回です: 今日もう一度切り替えるには、先に %2 を移動するか名前を変えてください</translation>
    </message>
    <message id="log_not_renamed">
        <source>%1 could not be renamed to %2: %3</source>
        <translation>%1 の名前を %2 に変更できませんでした: %3</translation>
    </message>
    <message id="disk_nearly_full">
        <source>The log folder's file system is nearly full: %1 MiB free (%2%)</source>
        <translation>ログフォルダーのファイルシステムの空きが残りわずかです: 空き %1 MiB (%2%)</translation>
    </message>
    <message id="tip_running">
        <source>Brevalt: sensor running since %1, next rotation %2</source>
        <translation>Brevalt: センサー実行中 (%1 から)、次の切り替え %2</translation>
    </message>
    <message id="tip_stopped">
        <source>Brevalt: sensor stopped (停止), next rotation %1</source>
        <translation>Brevalt: センサー停止中 (停止)、次の切り替え %1</translation>
    </message>
    <message id="tip_given_up">
        <source>Brevalt: sensor given up after %1 quick ends, next rotation %2</source>
        <translation>Brevalt: センサーは %1 回続けてすぐ終了したため再起動中止、次の切り替え %2</translation>
    </message>
    <message id="tip_start_failed">
        <source>Brevalt: sensor could not be started, next rotation %1</source>
        <translation>Brevalt: センサーを起動できません、次の切り替え %1</translation>
    </message>
    <message id="tip_ended">
        <source>Brevalt: sensor ended, restarted at the next check, next rotation %1</source>
        <translation>Brevalt: センサー終了、次の確認で再起動、次の切り替え %1</translation>
    </message>
    <message id="settings_unreadable">
        <source>Cannot use the settings file "%1", read from the current directory: %2</source>
        <translation>設定ファイル "%1" (現在のフォルダーから読みます) を使えません: %2</translation>
    </message>
    <message id="settings_empty">
        <source>Cannot use the settings file "%1": the file is empty (write the rotation time on its first line, for example 03:30)</source>
        <translation>設定ファイル "%1" を使えません: ファイルが空です (1 行目に切り替え時刻を書いてください。例: 03:30)</translation>
    </message>
    <message id="settings_no_time">
        <source>Cannot use the settings file "%1": the first line holds no rotation time (expected HH:MM, e.g. 03:30)</source>
        <translation>設定ファイル "%1" を使えません: 1 行目に切り替え時刻がありません (HH:MM の形、例えば 03:30)</translation>
    </message>
    <message id="not_operator_posix">
        <source>Only members of the group "%1" may run Brevalt: ask an administrator to run "adduser %2 %1", then log on again</source>
        <translation>グループ "%1" のメンバーだけが Brevalt を実行できます: 管理者に "adduser %2 %1" の実行を頼み、ログオンし直してください</translation>
    </message>
    <message id="not_operator_windows">
        <source>Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again</source>
        <translation>グループ "Brevalt Operators" のメンバーだけが Brevalt を実行できます: 管理者に追加を頼み (net localgroup "Brevalt Operators" %1 /add)、ログオンし直してください</translation>
    </message>
    <message id="not_operator_windows_admin">
        <source>Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again, or start Brevalt as administrator</source>
        <translation>グループ "Brevalt Operators" のメンバーだけが Brevalt を実行できます: 管理者に追加を頼み (net localgroup "Brevalt Operators" %1 /add)、ログオンし直すか、Brevalt を管理者として起動してください</translation>
    </message>
    <message id="folder_held">
        <source>Another Brevalt already serves the log folder "%1", perhaps in another user's session. This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別の Brevalt が既にログフォルダー "%1" を担当しています (別のユーザーのセッションかもしれません)。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message id="folder_held_by">
        <source>Another Brevalt already serves the log folder "%1" (run by %2). This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別の Brevalt (%2 が実行) が既にログフォルダー "%1" を担当しています。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message id="folder_left_by_other_user">
        <source>The sensor left running on the log folder "%1" by another user's Brevalt (%2) may not be stopped by this user. This one starts no sensor and ends: two would run two sensors on the same logs.</source>
        <translation>別のユーザーの Brevalt (%2) がログフォルダー "%1" で実行したままにしたセンサーは、このユーザーには停止できません。この Brevalt はセンサーを起動せずに終了します: 2 つあると同じログに 2 つのセンサーが書き込みます。</translation>
    </message>
    <message id="folder_unsure">
        <source>Cannot make sure that no other Brevalt serves the log folder "%1": %2</source>
        <translation>他の Brevalt がログフォルダー "%1" を担当していないことを確かめられません: %2</translation>
    </message>
    <message id="folder_missing">
        <source>Cannot make sure that no other Brevalt serves the log folder "%1": the folder is missing</source>
        <translation>他の Brevalt がログフォルダー "%1" を担当していないことを確かめられません: フォルダーがありません</translation>
    </message>
    <message id="settings_not_name_value">
        <source>Cannot use the settings file "%1": line %2 "%3" is not of the form name=value</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3" は 名前=値 の形ではありません</translation>
    </message>
    <message id="settings_bad_keep">
        <source>Cannot use the settings file "%1": line %2 "%3": keep takes the number of dates to keep, from 1 to 3650</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": keep には残す日付の数を 1 から 3650 で指定します</translation>
    </message>
    <message id="settings_bad_compress">
        <source>Cannot use the settings file "%1": line %2 "%3": compress takes yes or no</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": compress には yes か no を指定します</translation>
    </message>
    <message id="settings_given_twice">
        <source>Cannot use the settings file "%1": %2 is given twice, on lines %3 and %4</source>
        <translation>設定ファイル "%1" を使えません: %2 が %3 行目と %4 行目の 2 回指定されています</translation>
    </message>
    <message id="settings_unknown_name">
        <source>The settings file "%1" names "%2" on line %3, which this version of Brevalt does not know: the line is ignored</source>
        <translation>設定ファイル "%1" の %3 行目の "%2" はこの版の Brevalt が知らない名前です: その行は無視します</translation>
    </message>
    <message id="settings_too_large">
        <source>The settings file "%1" is larger than 64 KiB: only its first 64 KiB are read</source>
        <translation>設定ファイル "%1" は 64 KiB を超えています: 先頭の 64 KiB だけを読みます</translation>
    </message>
    <message id="kept_deleted">
        <source>%1 dated logs older than the newest %2 dates were deleted, of %3; the oldest kept:%4</source>
        <translation>新しい %2 日付より古い日付付きログ %1 個 (%3) を削除しました。残した最古のログ:%4</translation>
    </message>
    <message id="kept_compressed">
        <source>%1 dated logs were compressed</source>
        <translation>日付付きログ %1 個を圧縮しました</translation>
    </message>
    <message id="keep_delete_failed">
        <source>The dated log %1 could not be deleted: %2</source>
        <translation>日付付きログ %1 を削除できませんでした: %2</translation>
    </message>
    <message id="keep_delete_failed_many">
        <source>%1 dated logs, %2 the first, could not be deleted: %3</source>
        <translation>日付付きログ %1 個 (最初は %2) を削除できませんでした: %3</translation>
    </message>
    <message id="keep_compress_failed">
        <source>The dated log %1 could not be compressed: %2</source>
        <translation>日付付きログ %1 を圧縮できませんでした: %2</translation>
    </message>
    <message id="keep_compress_failed_many">
        <source>%1 dated logs, %2 the first, could not be compressed: %3</source>
        <translation>日付付きログ %1 個 (最初は %2) を圧縮できませんでした: %3</translation>
    </message>
    <message id="keep_folder_unreadable">
        <source>The log folder could not be read to keep its dated logs: %1</source>
        <translation>日付付きログの整理のためにログフォルダーを読めませんでした: %1</translation>
    </message>
    <message id="keep_volume_cannot">
        <source>The log folder's volume cannot compress files: compress=yes is not carried out there</source>
        <translation>ログフォルダーのボリュームはファイルを圧縮できません: compress=yes はそこでは行いません</translation>
    </message>
    <message id="standby_served_by">
        <source>The log folder "%1" is served by the Brevalt of %2: this Brevalt starts no sensor and waits; it serves the folder itself once that one has ended</source>
        <translation>ログフォルダー "%1" は %2 の Brevalt が担当しています: この Brevalt はセンサーを起動せずに待ち、その Brevalt が終了したら自分で担当します</translation>
    </message>
    <message id="standby_unwatched_sensor">
        <source>The sensor of %2 runs unwatched on the log folder "%1" (its Brevalt has ended): no rotation until it ends. This Brevalt waits and serves the folder itself once it has ended; %3 or an administrator can end it now (kill %4)</source>
        <translation>%2 のセンサーがログフォルダー "%1" で監視されずに動いています (その Brevalt は終了しています): 終了するまでログは切り替わりません。この Brevalt は待ち、センサーが終了したら自分で担当します。%3 または管理者が今すぐ終了できます (kill %4)</translation>
    </message>
    <message id="standby_over">
        <source>The log folder "%1" is served by this Brevalt now</source>
        <translation>ログフォルダー "%1" はこれからこの Brevalt が担当します</translation>
    </message>
    <message id="standby_refuses">
        <source>This Brevalt starts, stops and rotates nothing while another user's Brevalt or sensor serves the log folder (%1)</source>
        <translation>他のユーザーの Brevalt またはセンサーがログフォルダーを担当している間 (%1)、この Brevalt は起動も停止も切り替えもしません</translation>
    </message>
    <message id="tip_served_by">
        <source>Brevalt: no sensor of ours; the log folder is served by the Brevalt of %1</source>
        <translation>Brevalt: 自分のセンサーなし、ログフォルダーは %1 の Brevalt が担当</translation>
    </message>
    <message id="tip_unwatched_sensor">
        <source>Brevalt: no sensor of ours; the sensor of %1 runs unwatched, no rotation until it ends</source>
        <translation>Brevalt: 自分のセンサーなし、%1 のセンサーが監視されずに動作中、終了するまで切り替えなし</translation>
    </message>
    <message id="keep_gz_differs">
        <source>The dated log %1 is not compressed: %2 exists already and was not made from it; both are kept</source>
        <translation>日付付きログ %1 は圧縮しません: %2 が既にあり、%1 から作られたものではありません。両方とも残します</translation>
    </message>
    <message id="keep_log_in_use">
        <source>The dated log %1 was written to or in use by another program while it was to be compressed: it is kept whole and compressed at a later pass</source>
        <translation>日付付きログ %1 は圧縮の間に書き込まれたか、他のプログラムが使用中でした: そのまま残し、後で圧縮します</translation>
    </message>
    <message id="clock_behind">
        <source>The clock seems to be behind: the logs were rotated to %1, but %2 is already in the log folder; the logs just rotated are never deleted by keep</source>
        <translation>時計が遅れているようです: ログを %1 に切り替えましたが、ログフォルダーには既に %2 があります。切り替えたばかりのログは keep で削除しません</translation>
    </message>
    <message id="settings_mixed_utf16">
        <source>Cannot use the settings file "%1": line %2 holds text in UTF-16 (as Windows PowerShell 5.1 appends it) among text in another encoding; save the file as UTF-8</source>
        <translation>設定ファイル "%1" を使えません: %2 行目に UTF-16 のテキスト (Windows PowerShell 5.1 が追記する形) が別のエンコーディングのテキストに混じっています。ファイルを UTF-8 で保存してください</translation>
    </message>
    <message id="settings_bad_metrics">
        <source>Cannot use the settings file "%1": line %2 "%3": metrics takes an absolute path ending in .prom</source>
        <translation>設定ファイル "%1" を使えません: %2 行目 "%3": metrics には .prom で終わる絶対パスを指定します</translation>
    </message>
    <message id="metrics_not_written">
        <source>The metrics file "%1" could not be written: %2. Brevalt tries again at each check; the sensor runs on</source>
        <translation>メトリクスファイル "%1" を書けませんでした: %2。Brevalt は確認のたびに再試行します。センサーは動き続けます</translation>
    </message>
    <message id="metrics_written_again">
        <source>The metrics file "%1" is written again</source>
        <translation>メトリクスファイル "%1" を再び書けるようになりました</translation>
    </message>
    <message id="rotation_time_never_matches">
        <source>The rotation time "%1" never matches: the first line of the settings file must be HH:MM, two digits each, from 00:00 to 23:59 (for example 03:30). The sensor runs, but the logs are not rotated</source>
        <translation>切り替え時刻 "%1" は一致することがありません: 設定ファイルの 1 行目は HH:MM (各 2 桁、00:00 から 23:59、例: 03:30) です。センサーは実行しますが、ログは切り替えません</translation>
    </message>
    <message id="tip_running_unscheduled">
        <source>Brevalt: sensor running since %1, no rotation is scheduled</source>
        <translation>Brevalt: センサー実行中 (%1 から)、切り替えの予定なし</translation>
    </message>
    <message id="tip_stopped_unscheduled">
        <source>Brevalt: sensor stopped (停止), no rotation is scheduled</source>
        <translation>Brevalt: センサー停止中 (停止)、切り替えの予定なし</translation>
    </message>
    <message id="tip_given_up_unscheduled">
        <source>Brevalt: sensor given up after %1 quick ends, no rotation is scheduled</source>
        <translation>Brevalt: センサーは %1 回続けてすぐ終了したため再起動中止、切り替えの予定なし</translation>
    </message>
    <message id="tip_start_failed_unscheduled">
        <source>Brevalt: sensor could not be started, no rotation is scheduled</source>
        <translation>Brevalt: センサーを起動できません、切り替えの予定なし</translation>
    </message>
    <message id="tip_ended_unscheduled">
        <source>Brevalt: sensor ended, restarted at the next check, no rotation is scheduled</source>
        <translation>Brevalt: センサー終了、次の確認で再起動、切り替えの予定なし</translation>
    </message>
    <message id="log_folder_missing">
        <source>The log folder "%1" does not exist: the logs cannot be rotated until it is made</source>
        <translation>ログフォルダー "%1" がありません: 作成するまでログを切り替えられません</translation>
    </message>
    <message id="rotation_without_log_folder">
        <source>The logs could not be rotated: the log folder "%1" does not exist</source>
        <translation>ログを切り替えられませんでした: ログフォルダー "%1" がありません</translation>
    </message>
    <message id="started">
        <source>Brevalt started: sensor process %1, log folder "%2", next rotation %3</source>
        <translation>Brevalt を起動しました: センサーのプロセス %1、ログフォルダー "%2"、次の切り替え %3</translation>
    </message>
    <message id="started_taken_over">
        <source>Brevalt started: sensor process %1 (taken over), log folder "%2", next rotation %3</source>
        <translation>Brevalt を起動しました: センサーのプロセス %1 (引き継ぎ)、ログフォルダー "%2"、次の切り替え %3</translation>
    </message>
    <message id="no_rotation">
        <source>none (the time "%1" never matches)</source>
        <translation>なし (時刻 "%1" は一致しません)</translation>
    </message>
    <message id="sensor_exited_saying">
        <source>The sensor ended by itself (exit status %1); its last words in %2: %3</source>
        <translation>センサーが自ら終了しました (終了ステータス %1)。%2 の最後の行: %3</translation>
    </message>
    <message id="sensor_signalled_saying">
        <source>The sensor ended by itself (killed by signal %1); its last words in %2: %3</source>
        <translation>センサーが自ら終了しました (シグナル %1 で強制終了)。%2 の最後の行: %3</translation>
    </message>
    <message id="sensor_ended_saying">
        <source>The sensor ended by itself; its last words in %1: %2</source>
        <translation>センサーが自ら終了しました。%1 の最後の行: %2</translation>
    </message>
    <message id="keep_future_names">
        <source>keep: dated logs are deleted only while no dated name is newer than %1 (the latest rotation's date, or today's at start-up), and %2 are: nothing is deleted. If the clock is right, move or rename those logs; if it is behind, set it right</source>
        <translation>keep: %1 (最新の切り替えの日付、起動時は今日) より新しい日付の名前がある間は日付付きログを削除しません。%2 があるため何も削除しませんでした。時計が正しければそのログを移動するか名前を変えてください。遅れていれば時計を合わせてください</translation>
    </message>
    <message id="keep_waits_not_owner">
        <source>The dated log %1 is not compressed yet: another user owns it, so the system cannot tell this user whether a program still writes it. Such logs are compressed once they have been quiet for a day after the day their rotation named</source>
        <translation>日付付きログ %1 はまだ圧縮しません: 別のユーザーのファイルのため、書き込み中のプログラムがあるかをシステムから確かめられません。このようなログは、切り替えの日付の翌日以降、1 日書き込みがなければ圧縮します</translation>
    </message>
    <message id="keep_waits_file_system">
        <source>The dated log %1 is not compressed yet: the log folder's file system (%2) cannot tell whether a program still writes it. Logs there are compressed once they have been quiet for a day after the day their rotation named</source>
        <translation>日付付きログ %1 はまだ圧縮しません: ログフォルダーのファイルシステム (%2) では書き込み中のプログラムがあるかを確かめられません。ここのログは、切り替えの日付の翌日以降、1 日書き込みがなければ圧縮します</translation>
    </message>
    <message id="keep_no_room">
        <source>The dated log %1 (%2 MiB) is not compressed: the log folder has %3 MiB free, and compressing needs the log's size and 64 MiB more, so that the sensor never runs short of room; it is compressed once there is room</source>
        <translation>日付付きログ %1 (%2 MiB) を圧縮しませんでした: ログフォルダーの空きは %3 MiB で、圧縮にはログの大きさと、センサーが書き続けるための 64 MiB が必要です。空きができれば圧縮します</translation>
    </message>
    <message id="keep_mark_failed">
        <source>The record of the latest rotation, %1, could not be written in the log folder: %2. Until the next rotation, a later start may not know those logs as the latest</source>
        <translation>最新の切り替えの記録 %1 をログフォルダーに書けませんでした: %2。次の切り替えまで、後の起動ではそのログを最新と認識できないことがあります</translation>
    </message>
    <message id="settings_legacy_encoding">
        <source>Cannot use the settings file "%1": line %2 is not UTF-8 text (perhaps Shift_JIS or EUC-JP, as some editors save it) and seems to hold a setting; save the file as UTF-8</source>
        <translation>設定ファイル "%1" を使えません: %2 行目が UTF-8 ではなく (Shift_JIS か EUC-JP と思われます)、設定が書かれているようです。ファイルを UTF-8 で保存してください</translation>
    </message>
    <message id="settings_not_utf16">
        <source>Cannot use the settings file "%1": line %2 is not in the UTF-16 of the lines before it (as cmd's echo appends it to a file Windows PowerShell wrote); save the file as UTF-8</source>
        <translation>設定ファイル "%1" を使えません: %2 行目がその前の行と同じ UTF-16 ではありません (Windows PowerShell が書いたファイルに cmd の echo で追記した場合など)。ファイルを UTF-8 で保存してください</translation>
    </message>
    <message id="standby_held_by_unknown">
        <source>Brevalt starts no sensor on "%1" and waits: the log folder is held by a process Brevalt does not know; no rotation until it lets go. This Brevalt serves the folder itself within a tick once it does; on Linux "fuser -v %1" or "lsof %1" shows which process holds it</source>
        <translation>Brevalt は "%1" でセンサーを起動せずに待ちます: ログフォルダーは Brevalt の知らないプロセスが保持しています。解放されるまでログの切り替えは行いません。解放されると 1 ティック以内にこの Brevalt 自身がフォルダーを担当します。Linux では "fuser -v %1" または "lsof %1" で保持しているプロセスがわかります</translation>
    </message>
    <message id="standby_refuses_unknown">
        <source>This Brevalt starts, stops and rotates nothing while a process it does not know holds the log folder</source>
        <translation>知らないプロセスがログフォルダーを保持している間、この Brevalt は起動・停止・切り替えを行いません</translation>
    </message>
    <message id="tip_held_by_unknown">
        <source>Brevalt: no sensor of ours; the log folder is held by a process Brevalt does not know; no rotation until it lets go</source>
        <translation>Brevalt: 自分のセンサーはありません。ログフォルダーは Brevalt の知らないプロセスが保持しています。解放されるまで切り替えはありません</translation>
    </message>
    <message id="record_unwritten">
        <source>Brevalt cannot write down in the log folder "%1" which sensor it watches (%2): it goes on serving the folder, but if it ends, a later Brevalt cannot take its sensor over and waits for it instead</source>
        <translation>Brevalt はログフォルダー "%1" に監視中のセンサーを記録できません (%2)。フォルダーの担当は続けますが、この Brevalt が終了すると、後の Brevalt はそのセンサーを引き継げず、終了するまで待ちます</translation>
    </message>
    <message id="network_log_folder">
        <source>The log folder "%1" is on a network file system: the claim that keeps one sensor per folder holds on this machine only. Two machines must not share this folder; give each machine a log folder of its own</source>
        <translation>ログフォルダー "%1" はネットワークファイルシステム上にあります: フォルダーごとにセンサーを 1 つに保つ確保はこのマシン内でしか効きません。2 台のマシンでこのフォルダーを共有しないでください。マシンごとに専用のログフォルダーを用意してください</translation>
    </message>
    <message id="settings_first_line_remark">
        <source>Cannot use the settings file "%1": line 1 "%2" is a remark, but the first line must hold the rotation time (HH:MM, for example 03:30); remarks may follow on later lines</source>
        <translation>設定ファイル "%1" を使えません: 1 行目 "%2" は注釈ですが、1 行目には切り替え時刻 (HH:MM、例 03:30) を書いてください。注釈は 2 行目以降に書けます</translation>
    </message>
    <message id="next_rotation_tomorrow">
        <source>tomorrow %1</source>
        <translation>明日 %1</translation>
    </message>
    <message id="sensor_not_found_in">
        <source>The sensor could not be started: no executable "%1" in %2. Brevalt looks again at every check and starts it once it is there</source>
        <translation>センサーを起動できませんでした: %2 に実行ファイル "%1" がありません。Brevalt は確認のたびに探し、見つかりしだい起動します</translation>
    </message>
    <message id="sensor_found">
        <source>The sensor "%1" is there now and was started</source>
        <translation>センサー "%1" が見つかったので起動しました</translation>
    </message>
    <message id="action_in_window">
        <source>%1 chose %2 in the window: %3</source>
        <translation>%1 がウィンドウで %2 を選びました: %3</translation>
    </message>
    <message id="action_signal">
        <source>Brevalt received %1 from process %2 of user %3: %4</source>
        <translation>Brevalt はユーザー %3 のプロセス %2 から %1 を受け取りました: %4</translation>
    </message>
    <message id="action_session_end">
        <source>The desktop session of %1 ended: %2</source>
        <translation>%1 のデスクトップセッションが終了しました: %2</translation>
    </message>
    <message id="settings_reloaded">
        <source>The settings file "%1" was read again: %2</source>
        <translation>設定ファイル "%1" を読み直しました: %2</translation>
    </message>
    <message id="settings_not_reloaded">
        <source>The settings in force stay: %1</source>
        <translation>現在の設定のままです: %1</translation>
    </message>
    <message id="time_box_tip">
        <source>The rotation time, set on the first line of "%1"; read again on SIGHUP</source>
        <translation>切り替え時刻。"%1" の 1 行目で設定し、SIGHUP で読み直します</translation>
    </message>
    <message id="action_over_channel">
        <source>%1 asked for over the control channel by %2 (uid %3, process %4): %5</source>
        <translation>制御チャネルから %2 (uid %3、プロセス %4) が %1 を求めました: %5</translation>
    </message>
    <message id="tip_service_silent">
        <source>Brevalt: the machine's service does not answer; the sensor's state is unknown</source>
        <translation>Brevalt: マシンのサービスが応答しません。センサーの状態は不明です</translation>
    </message>
    <message id="service_silent">
        <source>The machine's Brevalt service does not answer (%1)</source>
        <translation>マシンの Brevalt サービスが応答しません (%1)</translation>
    </message>
    <message id="service_answers">
        <source>The machine's Brevalt service answers again</source>
        <translation>マシンの Brevalt サービスが再び応答しています</translation>
    </message>
    <message id="service_said">
        <source>The machine's Brevalt service: %1</source>
        <translation>マシンの Brevalt サービス: %1</translation>
    </message>
    <message id="view_started">
        <source>Brevalt shows the machine's service, which owns the sensor</source>
        <translation>Brevalt はマシンのサービスを表示します</translation>
    </message>
    <message id="channel_not_opened">
        <source>Control channel %1 not opened (%2); the sensor is served all the same</source>
        <translation>制御チャネル %1 を開けません (%2)。センサーは動き続けます</translation>
    </message>
    <message id="handed_over_to_service">
        <source>The machine's service owns the sensor now: the Brevalt of %1 stopped its own and shows the service</source>
        <translation>マシンのサービスがセンサーを引き継ぎました。%1 の Brevalt は表示に切り替わります</translation>
    </message>
</context>
</TS>
