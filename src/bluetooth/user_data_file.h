#pragma once
// User data files: any file, read as raw bytes, becomes payload bits.
#include <string>
#include <string_view>

#include "lib/dialogs.h"
#include "lib/types.h"

namespace bt {

struct UserDataFile {
    Bits bits;
    int status = -1;        // 1 bits were read, -1 cancelled or not readable
    std::string errorText;  // the "File Error" box text when the file could not be read
};

// Reads at most `maxLengthInBits` bits from the start of the file at `path`.
// `bitorder` "left-msb" takes each byte most significant bit first; anything
// whose first five characters are "right" (the default) least significant
// bit first. Only the bytes needed are read, whatever the file's size. A
// file that cannot be opened ("Could not open") or fails while it is read
// ("Could not read") gives no bits and status -1.
UserDataFile readUserDataFile(const std::string& path, double maxLengthInBits,
                              std::string_view bitorder = "right-msb");

// Title of the "File Error" box.
inline constexpr const char* kUserFileErrorTitle = "File Error";

// Asks for the file with the "Select data source file." dialog of the
// dialog service and reads it; a file that cannot be read is reported in
// the service's "File Error" box. Cancelling gives status -1 and no box.
UserDataFile loadUserDatafile(double maxLengthInBits, std::string_view bitorder = "right-msb",
                              Dialogs& dialogs = bt::dialogs());

}  // namespace bt
