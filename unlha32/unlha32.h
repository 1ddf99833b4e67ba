// unlha32.dll - Pomvault's LHA archiver library. Every entry point uses the Windows
// standard calling convention (WINAPI) and is exported under its plain name; strings
// are zero-terminated ANSI (Shift-JIS). unlha32/README.md describes the commands,
// switches, error codes and records in full.
#pragma once
#include <windows.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Library version: UNLHA_VERSION (100 = 1.00), from unlha32/version.h. The sub-version
// is the Pomvault version the library was built with (105 = 1.05).
#include "unlha32/version.h"

// Results of the command entry and of the member walk. 0 = success.
#define UNLHA_OK 0
#define UNLHA_FIND_END (-1)               // FindFirst / FindNext: no further member
#define UNLHA_ERR_BUSY 0x8001             // another command is running
#define UNLHA_ERR_COMMAND 0x8002          // no command, or an unknown one
#define UNLHA_ERR_SWITCH 0x8003           // unknown switch, or a value out of range
#define UNLHA_ERR_NO_ARCHIVE 0x8004       // the command names no archive
#define UNLHA_ERR_RESPONSE_FILE 0x8005    // a response file cannot be read
#define UNLHA_ERR_NO_FILES 0x8006         // the names select no file at all
#define UNLHA_ERR_FILE_NOT_FOUND 0x8007   // a listed file or folder does not exist
#define UNLHA_ERR_FILE_READ 0x8008        // a file cannot be opened or read (in use, denied)
#define UNLHA_ERR_TOO_LARGE 0x8009        // a file of 4 GiB or more
#define UNLHA_ERR_BAD_NAME 0x800A         // a name that cannot be stored ("..", too long)
#define UNLHA_ERR_DUPLICATE_NAME 0x800B   // two different files would get one member name
#define UNLHA_ERR_ARCHIVE_NOT_FOUND 0x800C
#define UNLHA_ERR_ARCHIVE_READ 0x800D     // the archive cannot be opened or read
#define UNLHA_ERR_DAMAGED 0x800E          // the archive is not a sound LHA archive
#define UNLHA_ERR_ARCHIVE_READONLY 0x800F // the archive file is read-only
#define UNLHA_ERR_DEST_FOLDER 0x8010      // the archive's folder does not exist
#define UNLHA_ERR_TEMP_FILE 0x8011        // no temporary file can be made beside the archive
#define UNLHA_ERR_WRITE 0x8012            // writing the new archive failed
#define UNLHA_ERR_DISK_FULL 0x8013
#define UNLHA_ERR_VERIFY 0x8014           // the written archive did not read back correctly
#define UNLHA_ERR_REPLACE 0x8015          // the old archive could not be replaced
#define UNLHA_ERR_CANCELLED 0x8016        // cancelled by the user or the owner window
#define UNLHA_ERR_CRC 0x8017              // t, x, e: a member's data does not match its CRC
#define UNLHA_ERR_METHOD 0x8018           // t, x, e: a member's method cannot be decoded
#define UNLHA_ERR_NOT_SUPPORTED 0x8019    // a feature the library does not have
#define UNLHA_ERR_HANDLE 0x801A           // not a handle from UnlhaOpenArchive
#define UNLHA_ERR_MEMORY 0x801B
#define UNLHA_ERR_INTERNAL 0x801C
// Not an error: the archive was written and checked, but some files could not be read
// (in use, denied, gone, changed while read). Each kept the member it had, or is missing;
// the message lists them.
#define UNLHA_WARN_UNREADABLE 0x801D
// Taking members out (x, e, d, UnLhaExtractMem).
#define UNLHA_ERR_UNSAFE_NAME 0x8020      // a member name that would land outside the folder: not written
#define UNLHA_ERR_FILE_WRITE 0x8021       // a file or folder cannot be written (read-only, in use, denied)
#define UNLHA_ERR_NO_MATCH 0x8022         // the names select no member of the archive
#define UNLHA_ERR_BUFFER_SMALL 0x8023     // UnLhaExtractMem: the member is larger than the buffer
#define UNLHA_ERR_NAME_CLASH 0x8024       // x, e: the member names a file an earlier member of this run wrote or kept

// Notification kinds: the word parameter of "wm_arcextract".
#define UNLHA_NOTIFY_BEGIN 0     // the command starts
#define UNLHA_NOTIFY_PROGRESS 1  // a file starts (writeSize 0), then again as its bytes go
#define UNLHA_NOTIFY_END 2       // the command has ended (result holds its result)

// UnlhaCheckArchive mode: also decode every member and check its CRC.
#define UNLHA_CHECK_DATA 1

typedef HANDLE HARC;

#pragma pack(push, 1)

// One archive member, as FindFirst / FindNext fill it in. 558 bytes.
typedef struct UnlhaMemberRecord {
  DWORD originalSize;      //   0
  DWORD compressedSize;    //   4
  DWORD crc;               //   8  CRC-16 of the data
  DWORD flags;             //  12  bits 0-7: header level (0, 1, 2)
  DWORD osType;            //  16  OS ID byte of the header ('M' = 0x4D); 0 for level 0
  WORD ratio;              //  20  compressed / original in per mille (0 for empty members)
  WORD dosDate;            //  22  modification time, MS-DOS date, local time
  WORD dosTime;            //  24  MS-DOS time
  char fileName[513];      //  26  path with '\' separators; folders end in '\'
  char padding[3];         // 539
  char attributeText[8];   // 542  "RHSVDA" positions: read-only hidden system - dir archive
  char modeText[8];        // 550  method, "-lh5-"
} UnlhaMemberRecord;

// What "wm_arcextract" points to (the long parameter). Valid only during the call.
typedef struct UnlhaExtractingInfo {
  DWORD fileSize;          //    0  size of the current file
  DWORD writeSize;         //    4  bytes of it done so far
  char sourceName[513];    //    8  the file on disk; for BEGIN / END the archive
  char padding1[3];        //  521
  char destName[513];      //  524  the member name; for BEGIN / END the archive
  char padding2[3];        // 1037
  DWORD totalSize;         // 1040  bytes of all files to compress (low 32 bits)
  DWORD totalDone;         // 1044  bytes of them done so far (low 32 bits)
  DWORD fileIndex;         // 1048  1-based number of the current file
  DWORD fileCount;         // 1052  files to compress in this command
  WORD attributes;         // 1056  MS-DOS attributes of the current file
  WORD dosDate;            // 1058  its modification time, MS-DOS date (local)
  WORD dosTime;            // 1060
  WORD reserved;           // 1062
  char modeText[8];        // 1064  "-lh5-"; "-lhd-" for folders
  DWORD result;            // 1072  END: the command's result; 0 otherwise
} UnlhaExtractingInfo;     // 1076

#pragma pack(pop)

int WINAPI Unlha(HWND hwnd, LPCSTR cmdLine, LPSTR output, DWORD outputSize);
WORD WINAPI UnlhaGetVersion(void);
WORD WINAPI UnlhaGetSubVersion(void);
BOOL WINAPI UnlhaGetRunning(void);
BOOL WINAPI UnlhaSetBackGroundMode(BOOL background);
BOOL WINAPI UnlhaSetCursorMode(BOOL cursorMode);
HARC WINAPI UnlhaOpenArchive(HWND hwnd, LPCSTR archive, DWORD mode);
int WINAPI UnlhaCloseArchive(HARC harc);
int WINAPI UnlhaFindFirst(HARC harc, LPCSTR wildName, UnlhaMemberRecord* record);
int WINAPI UnlhaFindNext(HARC harc, UnlhaMemberRecord* record);
BOOL WINAPI UnlhaCheckArchive(LPCSTR archive, int mode);
BOOL WINAPI UnlhaConfigDialog(HWND hwnd, LPSTR options, int mode);
BOOL WINAPI UnlhaSetOwnerWindow(HWND hwnd);
BOOL WINAPI UnlhaClearOwnerWindow(void);
int WINAPI UnLhaExtractMem(HWND hwnd, LPCSTR cmdLine, LPBYTE buffer, DWORD bufferSize, DWORD* time,
                           WORD* attributes, DWORD* written);

#ifdef __cplusplus
}

static_assert(sizeof(UnlhaMemberRecord) == 558, "member record layout");
static_assert(offsetof(UnlhaMemberRecord, fileName) == 26, "member record layout");
static_assert(offsetof(UnlhaMemberRecord, attributeText) == 542, "member record layout");
static_assert(offsetof(UnlhaMemberRecord, modeText) == 550, "member record layout");
static_assert(sizeof(UnlhaExtractingInfo) == 1076, "extracting-information layout");
static_assert(offsetof(UnlhaExtractingInfo, totalSize) == 1040, "extracting-information layout");
#endif
