// A calendar kept as a folder of .ics files, one calendar object (an event
// with its overrides and the time zones it needs) per file: the layout
// vdirsyncer and khal keep. These helpers know the folder; the store keeps
// the files' bytes one after the other in one buffer, each file a segment.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"

namespace platform::calendar::detail {

// Whether a folder entry is a calendar object: "*.ics", not hidden (which
// also leaves out the temporary files of vdirsyncer, khal and the store).
bool is_object_name(std::string_view name);

// A name as it may be shown in a message: control characters and bytes
// that are not UTF-8 escaped.
std::string printable_name(std::string_view name);

struct FolderFile {
  std::string name;
  FileStamp stamp;
  friend bool operator==(const FolderFile& a, const FolderFile& b);
};

struct FolderListing {
  int error = 0;                     // errno of reading the folder
  UniqueFd dir;                      // the folder read, for opening its files
  std::vector<FolderFile> files;     // plain files, by name
  std::vector<std::string> refused;  // object names that are not plain files: "NAME is a FIFO"
  std::vector<std::string> temporary;  // hidden entries named like a save's temporary file
  bool linked = false;               // a file stat'ed has another hard link
};
// Whether list_folder stats every file or leaves the stamps to the read of
// each file (then a file's stamp does not exist yet, and the folder's own
// entry type tells a plain file: one look at each file instead of two).
enum class Stamps { Taken, FromRead };
// The calendar objects of `folder`. Links are never followed: a link in the
// folder is refused, so that a save can never write outside it.
FolderListing list_folder(const std::filesystem::path& folder, Stamps stamps = Stamps::Taken);

// Appends the content of the plain file `name` in the folder `dir` to
// `bytes` and gives its stamp: one open relative to the folder (never
// following a link), one fstat, and for a file that keeps its size while it
// is read, one read. 0, an errno value or kNotRegularFile; on an error
// `bytes` is as it was. `*linked` is set when the file has another hard link.
int append_object(int dir, const std::string& name, std::string& bytes, FileStamp& stamp, bool* linked);

// The stamp of the plain file `path` (links not followed); not `exists`
// when it is missing or not a plain file.
FileStamp object_stamp(const std::filesystem::path& path);

// The stamp of the folder itself (a link to it followed): a file added,
// removed or renamed in it changes its mtime and ctime.
FileStamp folder_stamp(const std::filesystem::path& folder);

// Whether two stamps name the same content: inode, size, mtime and ctime
// (which no program can set back, so an edit that restores mtime is seen).
bool same_file(const FileStamp& a, const FileStamp& b);

// A fresh random UUID (version 4), lower case: safe as a file name.
std::string new_uuid();

// Whether a file's calendar, with its event cut out, holds no other
// component than time zones: then the file goes when the event goes.
bool holds_no_component(std::string_view calendar);

// Removes `name` from `folder` and syncs the folder; 0 or an errno value.
int remove_object(const std::filesystem::path& folder, const std::string& name);

}  // namespace platform::calendar::detail
