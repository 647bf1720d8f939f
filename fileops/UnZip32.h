// The unzip library's interface: its option and callback records, its entry
// point and the callbacks the wizard hands it. The records keep the layout
// the library publishes. No ready-made library exists for this platform, so
// Wiz_SingleEntryUnzip is implemented here on top of libzip behind that same
// interface. Texts passed through the interface (archive and folder names,
// entry names) are UTF-8 in this build.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fileops/ArchiveDigest.h"
#include "fileops/WorkContext.h"
#include "platform/HeldFolder.h"

extern "C" {

typedef int(WINAPI DLLPRNT)(LPSTR text, unsigned long size);
typedef int(WINAPI DLLPASSWORD)(LPSTR buffer, int size, LPCSTR prompt, LPCSTR name);
typedef int(WINAPI DLLSERVICE)(LPCSTR name, unsigned long size);
typedef void(WINAPI DLLSND)(void);
typedef int(WINAPI DLLREPLACE)(LPSTR name);
typedef void(WINAPI DLLMESSAGE)(unsigned long uncompressed, unsigned long compressed,
                                unsigned factor, unsigned month, unsigned day, unsigned year,
                                unsigned hour, unsigned minute, char flag, LPSTR name, LPSTR method,
                                unsigned long crc, char encrypted);

// Options of one call.
typedef struct {
  int ExtractOnlyNewer;   // extract only newer and new files
  int SpaceToUnderscore;  // spaces in names become underscores
  int PromptToOverwrite;  // ask through `replace` before overwriting
  int fQuiet;             // 0 all, 1 few, 2 no messages
  int ncflag;             // write to stdout
  int ntflag;             // test only
  int nvflag;             // verbose listing only
  int nfflag;             // freshen existing files only
  int nzflag;             // show the archive comment
  int ndflag;             // 1: recreate the stored folders (safely)
  int noflag;             // overwrite existing files without asking
  int naflag;             // end-of-line translation
  int nZIflag;            // archive information only
  int C_flag;             // case-insensitive name matching
  int fPrivilege;         // restore access-control information
  LPSTR lpszZipFN;        // the archive
  LPSTR lpszExtractDir;   // the target folder
} DCL, *LPDCL;

// The callbacks, and totals the library fills in.
typedef struct {
  DLLPRNT* print;
  DLLSND* sound;
  DLLREPLACE* replace;
  DLLPASSWORD* password;
  DLLMESSAGE* SendApplicationMessage;
  DLLSERVICE* ServCallBk;
  unsigned long TotalSizeComp;
  unsigned long TotalSize;
  unsigned long CompFactor;
  unsigned long NumMembers;
  WORD cchComment;
} USERFUNCTIONS, *LPUSERFUNCTIONS;

// The library's result codes that this implementation returns.
enum {
  PK_OK = 0,       // done, every entry extracted
  PK_ERR = 2,      // an entry could not be read
  PK_BADERR = 3,   // the archive is damaged: an entry unsafe, unusable or untrue to its size
  PK_NOZIP = 9,    // the archive is missing or not an archive
  PK_PARAM = 10,   // an option this implementation does not offer
  PK_FIND = 11,    // a file the caller needs is not in the archive
  PK_DISK = 50,    // not enough room, or a file or folder could not be written
  IZ_CTRLC = 80,   // stopped by the service callback
  IZ_BADPWD = 82,  // an encrypted entry (no password is ever asked for)
  // This implementation's own: the archive is not the one whose digests the
  // caller expects (UnzipNeeds::digest); what was written is removed.
  SV_NOTTHEARCHIVE = 90,
  // The archive could not be read to the end, and the person did not try
  // again (UnzipNeeds::askRetry); what was written is removed.
  SV_UNREADABLE = 91,
};

// Answers of the password callback.
enum { IZ_PW_ENTERED = 0, IZ_PW_CANCEL = -1, IZ_PW_CANCELALL = -2 };

// Extracts every entry of lpszZipFN into lpszExtractDir with its stored
// folders (ndflag 1), overwriting existing files without a question. Calls
// ServCallBk before each entry and stops when it answers non-zero (or, inside
// an entry, when UnzipStopRequested says so). With
// nvflag set it lists the entries through SendApplicationMessage instead.
// Include and exclude names are not supported: ifnc and xfnc must be 0.
//
// The whole directory is checked before the first byte is written; the
// archive is refused, with nothing written, when an entry has a name Windows
// cannot hold or one that leads outside the target, shares its name with
// another entry in any letter case (or is a file where a folder is needed),
// makes a path too long or too deep, is encrypted, uses a compression method
// this build lacks, is a link or special file, or when the files do not fit
// in the free room of the volumes they and the caller's copies go to. An
// entry that inflates to more or fewer bytes than it declares, or fails its checksum, fails the
// extraction. A failed extraction removes every file it wrote and every folder it made; one stopped
// through ServCallBk keeps what it unpacked.
int WINAPI Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv, LPDCL lpDCL,
                                LPUSERFUNCTIONS lpUserFunc);

}  // extern "C"

namespace fileops {

// The first volume found short of room: its root, what the run needs there
// and what is free.
struct RoomShortfall {
  std::wstring root;
  uint64_t needed = 0;
  uint64_t free = 0;
};

// What a caller needs of an archive beyond a safe unpacking, checked with the
// rest before anything is written.
struct UnzipNeeds {
  // Files the archive must hold, relative to its root with "\" between
  // folders, in any letter case.
  std::vector<std::wstring> files;
  // Where the caller copies what was unpacked once more, each copy's room
  // counted on the volume it goes to: the files directly in the archive's
  // root into rootFilesTo, the tree below a top-level folder (by name, in
  // any letter case) into its folder. Empty: no such copy.
  std::wstring rootFilesTo;
  std::vector<std::pair<std::wstring, std::wstring>> foldersTo;
  // The target folder, held by the caller: everything is written through
  // it. None: the target is opened (made when missing) by the call.
  const platform::HeldFolder* target = nullptr;
  // Receives the volume short of room, when one is.
  RoomShortfall* shortfall = nullptr;
  // The length and chunk digests the archive must have: each chunk is
  // checked as the plan or the unpacking first reads it (fileops/
  // CheckedArchive.h), so that the bytes checked are the bytes unpacked.
  // None: any archive.
  const ChunkDigests* digest = nullptr;
  // Asked when the archive cannot be read on (a read error, or fewer bytes
  // than it had): true, it is read on from there. None: the call fails.
  std::function<bool()> askRetry;
};

// What an archive's directory states of one file.
struct EntryFacts {
  uint64_t size = 0;
  uint32_t crc = 0;
};

// Wiz_SingleEntryUnzip without include or exclude names, with needs. When
// entries is given it receives the full path of every entry the run planned
// (folders end in "\\"), whatever the result; neededFacts, the facts of
// needs.files in their order (once the plan holds); plannedFacts, those of
// every planned entry, in the order of entries.
int UnzipWithNeeds(LPDCL lpDCL, LPUSERFUNCTIONS lpUserFunc, const UnzipNeeds& needs,
                   std::vector<std::wstring>* entries = nullptr,
                   std::vector<EntryFacts>* neededFacts = nullptr,
                   std::vector<EntryFacts>* plannedFacts = nullptr);

// The wizard's callbacks. They reach the window through the context that
// ExtractArchive holds for the duration of its call; without one they only
// give their answers.
int WINAPI UnzipPrint(LPSTR text, unsigned long size);
int WINAPI UnzipReplace(LPSTR name);
int WINAPI UnzipPassword(LPSTR buffer, int size, LPCSTR prompt, LPCSTR name);
void WINAPI UnzipListLine(unsigned long uncompressed, unsigned long compressed, unsigned factor,
                          unsigned month, unsigned day, unsigned year, unsigned hour,
                          unsigned minute, char flag, LPSTR name, LPSTR method, unsigned long crc,
                          char encrypted);
int WINAPI UnzipService(LPCSTR name, unsigned long size);

// One line of the entry listing, as UnzipListLine adds it to Memo1.
std::string FormatListLine(unsigned long uncompressed, unsigned long compressed, unsigned factor,
                           unsigned month, unsigned day, unsigned year, unsigned hour,
                           unsigned minute, char flag, const char* name);

// Lets window messages through while the library works inside one long
// entry.
void UnzipKeepAlive();

// Asked between the pieces of one entry: a stop requested meanwhile ends the
// extraction there, and the entry's half-written file is removed.
bool UnzipStopRequested();

// The context the callbacks report to; set for the duration of one call.
class UnzipContextScope {
 public:
  explicit UnzipContextScope(WorkContext& ctx);
  ~UnzipContextScope();
  UnzipContextScope(const UnzipContextScope&) = delete;
  UnzipContextScope& operator=(const UnzipContextScope&) = delete;

 private:
  WorkContext* previous_;
};

}  // namespace fileops
