#include <cstdio>
#include <cstring>
#include <string>

#include "core/sjis.h"
#include "lzh/timestamps.h"
#include "unlha32/internal.h"

namespace pv::unlha {

const char* errorText(int code) {
  switch (code) {
    case UNLHA_OK: return "正常に終了しました。";
    case UNLHA_ERR_BUSY: return "別の処理を実行中です。終わってからもう一度実行してください。";
    case UNLHA_ERR_COMMAND: return "コマンドが正しくありません。";
    case UNLHA_ERR_SWITCH: return "スイッチが正しくありません。";
    case UNLHA_ERR_NO_ARCHIVE: return "書庫名が指定されていません。";
    case UNLHA_ERR_RESPONSE_FILE: return "レスポンスファイルを読み込めません。";
    case UNLHA_ERR_NO_FILES: return "圧縮するファイルがありません。";
    case UNLHA_ERR_FILE_NOT_FOUND: return "ファイルが見つかりません。";
    case UNLHA_ERR_FILE_READ: return "ファイルを読み込めません。";
    case UNLHA_ERR_TOO_LARGE: return "ファイルが大きすぎます。4 GB 以上のファイルは格納できません。";
    case UNLHA_ERR_BAD_NAME: return "この名前では書庫に格納できません。";
    case UNLHA_ERR_DUPLICATE_NAME: return "同じ名前で格納されるファイルが複数あります。";
    case UNLHA_ERR_ARCHIVE_NOT_FOUND: return "書庫が見つかりません。";
    case UNLHA_ERR_ARCHIVE_READ: return "書庫を読み込めません。";
    case UNLHA_ERR_DAMAGED: return "書庫が壊れているか、LHA 書庫ではありません。";
    case UNLHA_ERR_ARCHIVE_READONLY: return "書庫が読み取り専用のため更新できません。";
    case UNLHA_ERR_DEST_FOLDER: return "書庫を作成するフォルダがありません。";
    case UNLHA_ERR_TEMP_FILE: return "書庫のフォルダに一時ファイルを作成できません。書き込みが禁止されていないか確認してください。";
    case UNLHA_ERR_WRITE: return "書庫を書き込めません。";
    case UNLHA_ERR_DISK_FULL: return "ディスクの空き容量が足りません。";
    case UNLHA_ERR_VERIFY: return "書き込んだ書庫を検査したところ、誤りが見つかりました。";
    case UNLHA_ERR_REPLACE: return "書庫を新しい内容に置き換えられません。";
    case UNLHA_ERR_CANCELLED: return "処理を中止しました。";
    case UNLHA_ERR_CRC: return "CRC が一致しません。データが壊れています。";
    case UNLHA_ERR_METHOD: return "対応していない圧縮形式です。";
    case UNLHA_ERR_NOT_SUPPORTED: return "この機能には対応していません。";
    case UNLHA_ERR_HANDLE: return "書庫ハンドルが正しくありません。";
    case UNLHA_ERR_MEMORY: return "メモリが足りません。";
    case UNLHA_ERR_UNSAFE_NAME: return "展開先のフォルダの外を指す名前か、Windows で使えない名前のため、展開しませんでした。";
    case UNLHA_ERR_FILE_WRITE: return "ファイルを書き込めません。";
    case UNLHA_ERR_NO_MATCH: return "指定されたファイルは書庫にありません。";
    case UNLHA_ERR_BUFFER_SMALL: return "バッファが小さすぎます。";
    case UNLHA_ERR_NAME_CLASH: return "先に展開したメンバーと同じファイルになるため、展開しませんでした。";
    case UNLHA_WARN_UNREADABLE: return "書庫を作成しましたが、読み込めなかったファイルがあります。";
    default: return "内部エラーが発生しました。";
  }
}

namespace {

// The Windows reasons a user can do something about, in words.
std::string reasonText(DWORD e) {
  switch (e) {
    case 0: return {};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "ほかのプログラムが使用中です。";
    case ERROR_ACCESS_DENIED: return "アクセスが拒否されました。";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "ディスクがいっぱいです。";
    case ERROR_WRITE_PROTECT: return "書き込みが禁止されています。";
    case ERROR_FILE_READ_ONLY: return "読み取り専用のファイルです。上書きしません。";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "見つかりません。";
    default: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "Windows のエラー コード %lu", static_cast<unsigned long>(e));
      return buf;
    }
  }
}

}  // namespace

std::string fullPath(const std::string& path) {
  char buf[MAX_PATH * 2];
  char* filePart = nullptr;
  const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buf, buf, &filePart);
  return (n == 0 || n >= sizeof buf) ? path : std::string(buf, n);
}

namespace {

// The files an update left out: the first ones by name with the reason, then a count.
std::string unreadableList(const std::vector<Unreadable>& files) {
  constexpr std::size_t kShown = 20;
  std::string text = "読み込めなかったファイル (" + std::to_string(files.size()) +
                     " 個) は、書庫にあった以前の内容のまま残しています (以前の内容がないものは格納していません)。\r\n";
  for (std::size_t i = 0; i < files.size() && i < kShown; ++i) {
    const Unreadable& u = files[i];
    const std::string reason = u.sizeChanged ? std::string("読み込み中にサイズが変わりました。") : reasonText(u.winError);
    text += "\r\n" + u.path;
    if (!reason.empty()) text += " (" + reason + ")";
  }
  if (files.size() > kShown) text += "\r\nほか " + std::to_string(files.size() - kShown) + " 個";
  return text;
}

}  // namespace

std::string failureMessage(const Failure& f) {
  std::string text = errorText(f.code);
  if (f.code == UNLHA_WARN_UNREADABLE) {
    if (f.archiveUpdated) text = "書庫を更新しましたが、読み込めなかったファイルがあります。";
    if (!f.file.empty()) text += "\r\n" + f.file + "\r\n";
    return text + "\r\n" + unreadableList(f.unreadable);
  }
  if (!f.file.empty()) text += "\r\n" + f.file;
  std::string reason = reasonText(f.winError);
  // Said already by the cause itself.
  const bool full = f.winError == ERROR_DISK_FULL || f.winError == ERROR_HANDLE_DISK_FULL;
  const bool missing = f.winError == ERROR_FILE_NOT_FOUND || f.winError == ERROR_PATH_NOT_FOUND;
  if ((f.code == UNLHA_ERR_DISK_FULL && full) ||
      (missing && (f.code == UNLHA_ERR_FILE_NOT_FOUND || f.code == UNLHA_ERR_ARCHIVE_NOT_FOUND ||
                   f.code == UNLHA_ERR_DEST_FOLDER)))
    reason.clear();
  if (!reason.empty()) text += "\r\n(" + reason + ")";
  if (f.archiveKept) text += "\r\n\r\n書庫は元のまま変更されていません。";
  return text;
}

int codeForCodecError(lzh::Error e) {
  switch (e) {
    case lzh::Error::Ok: return UNLHA_OK;
    case lzh::Error::ReadFailed: return UNLHA_ERR_FILE_READ;
    case lzh::Error::ArchiveReadFailed: return UNLHA_ERR_ARCHIVE_READ;
    case lzh::Error::WriteFailed: return UNLHA_ERR_WRITE;
    case lzh::Error::Cancelled: return UNLHA_ERR_CANCELLED;
    case lzh::Error::DamagedArchive: return UNLHA_ERR_DAMAGED;
    case lzh::Error::TooLarge: return UNLHA_ERR_TOO_LARGE;
    case lzh::Error::CrcMismatch:
    case lzh::Error::CorruptData: return UNLHA_ERR_CRC;
    case lzh::Error::UnsupportedMethod: return UNLHA_ERR_METHOD;
    case lzh::Error::BadName: return UNLHA_ERR_BAD_NAME;
  }
  return UNLHA_ERR_INTERNAL;
}

void copyToOutput(const std::string& text, LPSTR output, DWORD outputSize) {
  if (!output || outputSize == 0) return;
  const std::size_t n = sjis::fitLength(text, outputSize - 1);
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

void unixToDos(std::int64_t unixTime, WORD& date, WORD& time) {
  date = time = 0;
  const std::uint64_t ft = lzh::unixToFileTime(unixTime);
  FILETIME utc, local;
  utc.dwLowDateTime = static_cast<DWORD>(ft);
  utc.dwHighDateTime = static_cast<DWORD>(ft >> 32);
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time)) date = time = 0;
}

std::int64_t localDosToUnix(std::uint32_t dosDateTime) {
  FILETIME local, utc;
  if (::DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) &&
      ::LocalFileTimeToFileTime(&local, &utc)) {
    return lzh::fileTimeToUnix((static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
  }
  return lzh::dosTimeToUnix(dosDateTime);
}

}  // namespace pv::unlha
