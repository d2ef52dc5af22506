#pragma once
// MAT-file service: named variables holding records (structs and struct
// arrays), text and real or complex matrices, in the version 5 format
// (compressed or not) that the numeric environment and scipy read and write.
//
// Records and small matrices go through matio. Files from outside are
// screened before matio sees them (screenMatFile): the platform's matio
// trusts lengths and counts in a file, so every tag, dimension and count is
// checked against the bytes that are really there, and against caps that keep
// a crafted file from making us allocate more than it could honestly need.
// Large numeric matrices (waveforms) are streamed to disk by our own writer,
// so a 30-million-sample waveform is never copied into a second buffer.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/errors.h"

namespace bt {

// The MAT-file array classes (the codes the format stores).
enum class MatClass : std::uint8_t {
    Empty = 0, Cell = 1, Struct = 2, Object = 3, Char = 4, Sparse = 5, Double = 6, Single = 7,
    Int8 = 8, UInt8 = 9, Int16 = 10, UInt16 = 11, Int32 = 12, UInt32 = 13, Int64 = 14, UInt64 = 15,
    Function = 16, Opaque = 17,
};
bool isNumericClass(MatClass c);
std::string_view matClassName(MatClass c);

// One array: numbers (held as doubles, column-major), text, a struct array
// (fields of element k at elements[k * fieldNames.size() + f]) or a cell
// array. A value produced by screening carries the shape only (hasData false).
struct MatValue {
    MatClass cls = MatClass::Double;
    bool complex = false;
    bool logical = false;
    bool hasData = true;
    std::vector<std::size_t> dims{0, 0};
    std::vector<double> re;
    std::vector<double> im;
    std::string text;  // char arrays, column-major
    std::vector<std::string> fieldNames;
    std::vector<MatValue> elements;

    std::size_t numel() const;
    bool isStruct() const { return cls == MatClass::Struct; }
    // Field `name` of struct element `index`; null when absent.
    const MatValue* field(std::string_view name, std::size_t index = 0) const;
    // "1x10 double", "1x1 struct", "0x0 char": for messages.
    std::string describe() const;

    static MatValue scalar(double x);
    static MatValue realMatrix(std::size_t rows, std::size_t cols, std::vector<double> columnMajor);
    static MatValue complexMatrix(std::size_t rows, std::size_t cols, std::vector<double> re, std::vector<double> im);
    static MatValue string(std::string_view s);  // a 1xN char row (0x0 when empty)
    // A struct array of `count` elements (1x1 for one, 1xN otherwise) with
    // these fields, every element empty until set.
    static MatValue structArray(std::vector<std::string> fieldNames, std::size_t count = 1);
    // Sets field `name` of element `index` (adding the field if new).
    void setField(std::string_view name, MatValue v, std::size_t index = 0);
};

struct MatVariable {
    std::string name;
    MatValue value;
};

// ----------------------------------------------------------------- reading

// Caps that screening applies; the defaults fit settings and configuration
// files with room to spare. A cap that is hit makes the file "too large",
// never "damaged".
struct MatReadLimits {
    std::uint64_t maxFileBytes = 16u << 20;      // the file, or the variables read when only some are
    std::uint64_t maxUnpackedBytes = 16u << 20;  // all compressed variables, unpacked
    std::size_t maxNodes = 200000;               // arrays of all levels together
    int maxDepth = 16;                           // nesting of structs and cells
};

// What screening found: every variable with its shape (no data).
struct MatDirectory {
    std::vector<MatVariable> variables;  // value.hasData is false throughout
    const MatValue* find(std::string_view name) const;
};

// Checks a whole file held in memory and lists its variables. Throws
// bt::Error with a sentence that completes "<file name>\n..." ("is not a
// MAT-file.", "is damaged: ...", "is too large to read: ..."), never
// anything else. When `only` names variables, the others that hold plain
// numbers or text (a user's waveform beside the settings) are passed over
// unchecked and listed without contents, whatever their size.
MatDirectory screenMatBytes(std::string_view bytes, const MatReadLimits& limits = {},
                            const std::vector<std::string>& only = {});

// A screened file, read through matio.
class MatFileReader {
public:
    // Reads and screens `path`; throws bt::Error as screenMatBytes does (and
    // "cannot be opened: ..." when the file cannot be read). With `only`,
    // only those variables can be read and the file's size is not capped.
    explicit MatFileReader(std::filesystem::path path, const MatReadLimits& limits = {},
                           std::vector<std::string> only = {});

    const MatDirectory& directory() const { return directory_; }
    // The shape of variable `name` from screening; null when absent.
    const MatValue* info(std::string_view name) const { return directory_.find(name); }
    // Reads variable `name` with its data. Throws bt::Error when absent or
    // when matio fails.
    MatValue read(std::string_view name) const;

private:
    std::filesystem::path path_;
    std::vector<std::string> only_;
    MatDirectory directory_;
};

// ----------------------------------------------------------------- writing

enum class MatCompression { None, Zlib };

// Writes the variables to `path` through matio, replacing it only once the
// new file is complete, synced and checked (see saveAtomically). Throws
// bt::Error with the reason on failure; the old file is then untouched.
void writeMatFile(const std::filesystem::path& path, const std::vector<MatVariable>& variables,
                  MatCompression compression = MatCompression::Zlib);

// A real or complex double matrix whose elements are produced on demand in
// column-major order: fill(first, count, imaginary, out) writes the real (or
// imaginary) parts of elements first .. first+count-1 to out.
struct MatMatrixSource {
    std::string name;
    std::size_t rows = 0;
    std::size_t cols = 0;
    bool complex = false;
    std::function<void(std::size_t first, std::size_t count, bool imaginary, double* out)> fill;
};

// Streams uncompressed double matrices to `path`, replacing it atomically.
// Throws bt::Error on failure (a short write included).
void writeMatMatrices(const std::filesystem::path& path, const std::vector<MatMatrixSource>& matrices);

// The header text our files carry (the first 116 bytes of the file).
std::string matHeaderText();

}  // namespace bt
