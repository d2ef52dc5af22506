#pragma once
// Replacing a file without ever losing it: the new contents go to a fresh
// file in the same folder, which is synced and then renamed over the target.
// A crash or a kill at any moment leaves either the old or the new file.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bt {

using FileWriter = std::function<void(const std::filesystem::path& temporary)>;

// Calls write(temporaryPath) to produce the new file, then syncs it, renames
// it over `target` (following a symbolic link to the file it names) and syncs
// the folder. When write throws, or any step fails, the temporary file is
// removed, `target` is left as it was, and a bt::Error with the reason is
// thrown. The new file gets the old file's permissions, or the usual ones
// for a new file. Temporary files that an interrupted save of the same
// target left behind (".NAME.saving-XXXXXX") are removed first.
void saveAtomically(const std::filesystem::path& target, const FileWriter& write);

// One file of a set saved together.
struct FileToSave {
    std::filesystem::path target;
    FileWriter write;
    std::string what;  // names the file in messages ("the marker file")
};

// Saves files that belong together (a waveform and its markers): every
// temporary is written and synced before any target is replaced, so a full
// disk or a failing writer leaves every old file as it was. The error names
// the file that failed ("the marker file x.raw.markers: ...") with the
// system's reason. Should a replacement itself fail, the ones already made
// are undone where the file system allows swapping two names.
void saveTogether(const std::vector<FileToSave>& files);

// The file a save onto `path` writes: `path` itself, or the file a symbolic
// link (or a chain of them) finally names, existing or not.
std::filesystem::path saveTargetOf(const std::filesystem::path& path);

}  // namespace bt
