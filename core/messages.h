// Every text pelbo.exe shows in a message box, in one place: the help's test reads
// this file and fails when the help does not explain one of them. One declaration
// per text; "%s" stands for what is filled in when shown.
#pragma once

namespace pv::msg {

// Main window and the definitions file.
inline constexpr char kDuplicateName[] = "入力が重複しています。";
inline constexpr char kSaveChanges[] = "変更を保存しますか";
inline constexpr char kDefinitionsDamaged[] =
    "定義ファイル %s は %s 行目から後を読み込めませんでした。\n読み込んだ定義は %s 件です。\n"
    "保存するときは、元のファイルを %s.bak として残します。";
inline constexpr char kDefinitionsNotShiftJis[] =
    "定義ファイル %s は Shift-JIS ではなく UTF-8 で書かれているため、名前や項目が正しく読めません。\n"
    "保存するときは、元のファイルを %s.bak として残します。";
inline constexpr char kNotAnInteger[] = "'%s' は整数ではありません";
inline constexpr char kCannotCreate[] = "ファイル %s を作成できません";
inline constexpr char kCannotOpen[] = "ファイル %s を開けません";
inline constexpr char kWriteError[] = "ストリームへの書き込みエラー";
inline constexpr char kReadError[] = "ストリームの読み込みエラー";

// The settings dialog.
inline constexpr char kNotStorable[] = "「}」だけの項目や改行を含む項目は定義ファイルに保存できないため、使えません。";
inline constexpr char kFieldNotStorable[] =
    "「%s」の内容は定義ファイルに保存できないため、使えません。改行を含む項目や「}」だけの項目は保存できません。";
inline constexpr char kOtherFolders[] =
    "「ベース」のフォルダ %s にない次の項目は、リストに入れませんでした。一度にドロップできるのは、同じフォルダにある項目だけです。";

// The backup run.
inline constexpr char kNoDestDir[] = "「作成先」が指定されていません。";
inline constexpr char kNoArcName[] = "「ファイル名」が指定されていません。";
inline constexpr char kNoFileList[] = "バックアップするファイルが指定されていません。";
inline constexpr char kBaseMissing[] = "「ベース」のフォルダが見つかりません。";
inline constexpr char kNothingUnderBase[] = "「ベース」のフォルダの下にバックアップするファイルが見つかりませんでした。";
inline constexpr char kNotBackedUp[] = "バックアップできませんでした。";
inline constexpr char kNoLibrary[] = "unlha32.dll が見つかりません。バックアップできませんでした。";
inline constexpr char kNoVersion[] =
    "unlha32.dll からバージョンを取得できません (UnlhaGetVersion がありません)。"
    "書庫を作成できるライブラリか確認できないため、バックアップできませんでした。";

// Restore and archive test from the definitions list's menu (lines end in CR LF, as
// the rest of the text of the boxes that show them does).
inline constexpr char kRestoreNoLibrary[] = "書庫を扱うライブラリ (unlha32.dll) が見つかりません。復元できませんでした。";
inline constexpr char kTestNoLibrary[] = "書庫を扱うライブラリ (unlha32.dll) が見つかりません。書庫を検査できませんでした。";
inline constexpr char kNoCommand[] = "使用中の書庫ライブラリは、この操作 (%s コマンド) に対応していません。";
inline constexpr char kRestoreOverFiles[] =
    "復元先のフォルダには、すでにファイルがあります。\r\n%s\r\n\r\n同じ名前のファイルがあるとき、新しいほうを残しますか?\r\n\r\n"
    "はい: 書庫のファイルのほうが新しいときだけ置き換えます。\r\n"
    "いいえ: 書庫のファイルですべて置き換えます。\r\n"
    "キャンセル: 復元しません。";
inline constexpr char kRestored[] = "復元しました。";
inline constexpr char kRestoreCancelled[] = "復元を中止しました。";
inline constexpr char kRestoredPartly[] = "復元できなかったファイルがあります。";
inline constexpr char kRestoreFailed[] = "復元できませんでした。";
inline constexpr char kRestoreCounts[] =
    "復元したファイル: %s 件\r\nそのまま残したファイル: %s 件\r\n復元しなかったファイル: %s 件";
inline constexpr char kPastTheDamage[] = "(書庫の壊れた箇所より後のファイルは数に入っていません)";
inline constexpr char kNoCounts[] = "(書庫ライブラリから件数を取得できませんでした)";
inline constexpr char kArchiveSound[] = "書庫に誤りはありません。";
inline constexpr char kTestCancelled[] = "書庫の検査を中止しました。";
inline constexpr char kArchiveDamaged[] = "書庫に誤りが見つかりました。";
inline constexpr char kFirstDamaged[] = "最初に誤りが見つかったファイル:";

}  // namespace pv::msg
