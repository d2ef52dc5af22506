#pragma once
// Replacing a file without ever losing it: the new contents go to a fresh
// file in the same folder, which is synced and then renamed over the target.
// A crash or a kill at any moment leaves either the old or the new file.
#include <filesystem>
#include <functional>

namespace bt {

// Calls write(temporaryPath) to produce the new file, then syncs it, renames
// it over `target` (following a symbolic link to the file it names) and syncs
// the folder. When write throws, or any step fails, the temporary file is
// removed, `target` is left as it was, and a bt::Error with the reason is
// thrown. The new file gets the old file's permissions, or the usual ones
// for a new file.
void saveAtomically(const std::filesystem::path& target,
                    const std::function<void(const std::filesystem::path& temporary)>& write);

}  // namespace bt
