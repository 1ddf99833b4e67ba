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

}  // namespace pv::msg
