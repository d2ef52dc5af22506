#pragma once
// User data files: any file, read as raw bytes, becomes payload bits.
#include <string>
#include <string_view>

#include "lib/types.h"

namespace bt {

struct UserDataFile {
    Bits bits;
    int status = -1;        // 1 bits were read, -1 cancelled or not readable
    std::string errorText;  // the "File Error" box text when the file could not be opened
};

// Reads at most `maxLengthInBits` bits from the start of the file at `path`.
// `bitorder` "left-msb" takes each byte most significant bit first; anything
// whose first five characters are "right" (the default) least significant
// bit first. Only the bytes needed are read, whatever the file's size.
UserDataFile readUserDataFile(const std::string& path, double maxLengthInBits,
                              std::string_view bitorder = "right-msb");

}  // namespace bt
