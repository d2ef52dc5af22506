#include "lib/matfile.h"

#include <fcntl.h>
#include <matio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "lib/atomic_save.h"

namespace bt {

namespace fs = std::filesystem;

// ------------------------------------------------------------- MatValue

bool isNumericClass(MatClass c) { return c >= MatClass::Double && c <= MatClass::UInt64; }

std::string_view matClassName(MatClass c) {
    static constexpr std::string_view names[] = {"empty",  "cell",   "struct", "object", "char",   "sparse",
                                                  "double", "single", "int8",   "uint8",  "int16",  "uint16",
                                                  "int32",  "uint32", "int64",  "uint64", "function handle",
                                                  "opaque"};
    const auto k = static_cast<std::size_t>(c);
    return k < std::size(names) ? names[k] : "unknown";
}

std::size_t MatValue::numel() const {
    std::size_t n = 1;
    for (auto d : dims) n *= d;
    return dims.empty() ? 0 : n;
}

const MatValue* MatValue::field(std::string_view name, std::size_t index) const {
    if (!isStruct() || index >= numel()) return nullptr;
    for (std::size_t f = 0; f < fieldNames.size(); ++f)
        if (fieldNames[f] == name) {
            const std::size_t k = index * fieldNames.size() + f;
            return k < elements.size() ? &elements[k] : nullptr;
        }
    return nullptr;
}

std::string MatValue::describe() const {
    std::string s;
    for (std::size_t k = 0; k < dims.size(); ++k) s += (k ? "x" : "") + std::to_string(dims[k]);
    s += ' ';
    if (complex) s += "complex ";
    s += logical ? "logical" : matClassName(cls);
    return s;
}

MatValue MatValue::scalar(double x) { return realMatrix(1, 1, {x}); }

MatValue MatValue::realMatrix(std::size_t rows, std::size_t cols, std::vector<double> columnMajor) {
    MatValue v;
    v.dims = {rows, cols};
    v.re = std::move(columnMajor);
    return v;
}

MatValue MatValue::complexMatrix(std::size_t rows, std::size_t cols, std::vector<double> re, std::vector<double> im) {
    MatValue v = realMatrix(rows, cols, std::move(re));
    v.complex = true;
    v.im = std::move(im);
    return v;
}

MatValue MatValue::string(std::string_view s) {
    MatValue v;
    v.cls = MatClass::Char;
    v.dims = s.empty() ? std::vector<std::size_t>{0, 0} : std::vector<std::size_t>{1, s.size()};
    v.text = s;
    return v;
}

MatValue MatValue::structArray(std::vector<std::string> names, std::size_t count) {
    MatValue v;
    v.cls = MatClass::Struct;
    v.dims = {1, count};
    v.fieldNames = std::move(names);
    v.elements.resize(count * v.fieldNames.size());
    return v;
}

void MatValue::setField(std::string_view name, MatValue value, std::size_t index) {
    const std::size_t n = numel();
    std::size_t f = 0;
    while (f < fieldNames.size() && fieldNames[f] != name) ++f;
    if (f == fieldNames.size()) {  // a new field: widen every element
        std::vector<MatValue> widened;
        widened.reserve(n * (f + 1));
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t g = 0; g < f; ++g) widened.push_back(std::move(elements[k * f + g]));
            widened.emplace_back();
        }
        elements = std::move(widened);
        fieldNames.emplace_back(name);
    }
    elements.at(index * fieldNames.size() + f) = std::move(value);
}

const MatValue* MatDirectory::find(std::string_view name) const {
    for (const auto& v : variables)
        if (v.name == name) return &v.value;
    return nullptr;
}

// ------------------------------------------------------------------ matio

namespace {

// matio reports through a log function that prints to the console by
// default; ours keeps the last message for the error text instead.
thread_local std::string lastMatioMessage;

void matioLog(int, char* message) { lastMatioMessage = message ? message : ""; }

void installMatioLog() {
    static std::once_flag once;
    std::call_once(once, [] { Mat_LogInitFunc("btgen", matioLog); });
}

std::string matioReason(const std::string& fallback) {
    return lastMatioMessage.empty() ? fallback : fallback + " (" + lastMatioMessage + ")";
}

struct MatCloser {
    void operator()(mat_t* m) const { Mat_Close(m); }
};
struct VarFreer {
    void operator()(matvar_t* v) const { Mat_VarFree(v); }
};
using MatPtr = std::unique_ptr<mat_t, MatCloser>;
using VarPtr = std::unique_ptr<matvar_t, VarFreer>;

template <class T>
void appendNumbers(const void* data, std::size_t n, std::vector<double>& out) {
    const T* p = static_cast<const T*>(data);
    out.reserve(n);
    for (std::size_t k = 0; k < n; ++k) out.push_back(static_cast<double>(p[k]));
}

void appendNumbers(MatClass cls, const void* data, std::size_t n, std::vector<double>& out) {
    switch (cls) {
        case MatClass::Double: return appendNumbers<double>(data, n, out);
        case MatClass::Single: return appendNumbers<float>(data, n, out);
        case MatClass::Int8: return appendNumbers<std::int8_t>(data, n, out);
        case MatClass::UInt8: return appendNumbers<std::uint8_t>(data, n, out);
        case MatClass::Int16: return appendNumbers<std::int16_t>(data, n, out);
        case MatClass::UInt16: return appendNumbers<std::uint16_t>(data, n, out);
        case MatClass::Int32: return appendNumbers<std::int32_t>(data, n, out);
        case MatClass::UInt32: return appendNumbers<std::uint32_t>(data, n, out);
        case MatClass::Int64: return appendNumbers<std::int64_t>(data, n, out);
        case MatClass::UInt64: return appendNumbers<std::uint64_t>(data, n, out);
        default: return;
    }
}

MatValue fromMatio(matvar_t* v) {
    MatValue out;
    if (!v) return out;
    out.cls = static_cast<MatClass>(v->class_type);
    out.complex = v->isComplex != 0;
    out.logical = v->isLogical != 0;
    out.dims.assign(v->dims, v->dims + (v->rank > 0 ? v->rank : 0));
    const std::size_t n = out.numel();
    const auto noData = [] { return Error(matioReason("matio returned an array without its data")); };
    if (isNumericClass(out.cls)) {
        if (n == 0) return out;
        if (!v->data || static_cast<std::size_t>(v->data_size) != Mat_SizeOfClass(v->class_type)) throw noData();
        if (out.complex) {
            const auto* split = static_cast<const mat_complex_split_t*>(v->data);
            if (!split->Re || !split->Im) throw noData();
            appendNumbers(out.cls, split->Re, n, out.re);
            appendNumbers(out.cls, split->Im, n, out.im);
        } else {
            if (v->nbytes < n * static_cast<std::size_t>(v->data_size)) throw noData();
            appendNumbers(out.cls, v->data, n, out.re);
        }
    } else if (out.cls == MatClass::Char) {
        if (n == 0) return out;
        const std::size_t width = static_cast<std::size_t>(v->data_size);
        if (!v->data || (width != 1 && width != 2) || v->nbytes < n * width) throw noData();
        out.text.reserve(n);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned c = width == 1 ? static_cast<const unsigned char*>(v->data)[k]
                                          : static_cast<const std::uint16_t*>(v->data)[k];
            out.text.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        }
    } else if (out.cls == MatClass::Struct) {
        const unsigned nf = Mat_VarGetNumberOfFields(v);
        char* const* names = Mat_VarGetStructFieldnames(v);
        for (unsigned f = 0; f < nf; ++f) out.fieldNames.emplace_back(names && names[f] ? names[f] : "");
        out.elements.reserve(n * nf);
        for (std::size_t k = 0; k < n; ++k)
            for (unsigned f = 0; f < nf; ++f) out.elements.push_back(fromMatio(Mat_VarGetStructFieldByIndex(v, f, k)));
    } else if (out.cls == MatClass::Cell) {
        out.elements.reserve(n);
        for (std::size_t k = 0; k < n; ++k) out.elements.push_back(fromMatio(Mat_VarGetCell(v, static_cast<int>(k))));
    } else if (out.cls == MatClass::Empty) {
        out.cls = MatClass::Double;
        out.dims = {0, 0};
    }
    return out;
}

VarPtr toMatio(const MatValue& v, const char* name) {
    std::vector<std::size_t> dims = v.dims;
    if (dims.size() < 2) dims.resize(2, dims.empty() ? 0 : 1);
    const int rank = static_cast<int>(dims.size());
    const std::size_t n = v.numel();
    matvar_t* out = nullptr;
    switch (v.cls) {
        case MatClass::Double: {
            if (v.re.size() != n || (v.complex && v.im.size() != n)) throw Error("an array's data do not fit its size");
            if (v.complex) {
                mat_complex_split_t split{const_cast<double*>(v.re.data()), const_cast<double*>(v.im.data())};
                out = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, rank, dims.data(), &split, MAT_F_COMPLEX);
            } else {
                out = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, rank, dims.data(),
                                    const_cast<double*>(v.re.data()), 0);
            }
            break;
        }
        case MatClass::Char: {
            if (v.text.size() != n) throw Error("a text does not fit its size");
            std::vector<std::uint16_t> units(v.text.begin(), v.text.end());
            for (std::size_t k = 0; k < n; ++k) units[k] = static_cast<unsigned char>(v.text[k]);
            out = Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, rank, dims.data(), units.data(), 0);
            break;
        }
        case MatClass::Struct: {
            std::vector<const char*> names;
            for (const auto& f : v.fieldNames) names.push_back(f.c_str());
            names.push_back(nullptr);
            out = Mat_VarCreateStruct2(name, rank, dims.data(), names.data());
            if (!out) break;
            VarPtr owner(out);
            const std::size_t nf = v.fieldNames.size();
            for (std::size_t k = 0; k < n; ++k)
                for (std::size_t f = 0; f < nf; ++f) {
                    VarPtr child = toMatio(v.elements.at(k * nf + f), nullptr);
                    Mat_VarFree(Mat_VarSetStructFieldByIndex(out, f, k, child.release()));
                }
            return owner;
        }
        case MatClass::Cell: {
            out = Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, rank, dims.data(), nullptr, 0);
            if (!out) break;
            VarPtr owner(out);
            for (std::size_t k = 0; k < n; ++k)
                Mat_VarFree(Mat_VarSetCell(out, static_cast<int>(k), toMatio(v.elements.at(k), nullptr).release()));
            return owner;
        }
        default: throw Error("arrays of class " + std::string(matClassName(v.cls)) + " are not written");
    }
    if (!out) throw Error(matioReason("matio could not build an array"));
    return VarPtr(out);
}

struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
};

// Opens a file for reading, without waiting (a FIFO without a writer would
// block the open), and refuses anything but a plain file: a FIFO, a device
// or a socket could keep the read waiting for ever. Returns the descriptor
// and fills `st`.
int openRegularFile(const fs::path& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw Error(std::string("cannot be opened: ") + std::strerror(errno) + ".");
    std::string refusal;
    if (::fstat(fd, &st) != 0) refusal = std::string("cannot be opened: ") + std::strerror(errno) + ".";
    else if (S_ISDIR(st.st_mode)) refusal = "is a folder, not a file.";
    else if (!S_ISREG(st.st_mode)) refusal = "is not a regular file (a pipe, a device or a socket); it is not read.";
    if (!refusal.empty()) {
        ::close(fd);
        throw Error(refusal);
    }
    return fd;
}

std::string readWholeFile(const fs::path& path, std::uint64_t cap) {
    struct stat st {};
    const int fd = openRegularFile(path, st);
    Closer closer{fd};
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > cap)
        throw Error("is too large to read (" + std::to_string(size) + " bytes; at most " + std::to_string(cap) +
                    " are accepted).");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error("could not be read completely.");
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

// A whole file mapped read-only.
class MappedFile {
public:
    explicit MappedFile(const fs::path& path) {
        struct stat st {};
        const int fd = openRegularFile(path, st);
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ > 0) {
            data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (data_ == MAP_FAILED) {
                const int e = errno;
                ::close(fd);
                throw Error("cannot be read: " + std::string(std::strerror(e)) + ".");
            }
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (data_ && data_ != MAP_FAILED) ::munmap(data_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view bytes() const {
        return size_ == 0 ? std::string_view() : std::string_view(static_cast<const char*>(data_), size_);
    }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace

std::string matHeaderText() { return "MATLAB 5.0 MAT-file, written by the BLUETOOTH signal generation applet"; }

MatFileReader::MatFileReader(fs::path path, const MatReadLimits& limits, std::vector<std::string> only)
    : path_(std::move(path)), only_(std::move(only)) {
    installMatioLog();
    if (only_.empty()) {
        directory_ = screenMatBytes(readWholeFile(path_, limits.maxFileBytes), limits);
        return;
    }
    // Mapped rather than read: the pages of variables passed over are
    // never touched.
    const MappedFile mapped(path_);
    directory_ = screenMatBytes(mapped.bytes(), limits, only_);
}

MatValue MatFileReader::read(std::string_view name) const {
    if (!info(name)) throw Error("has no variable " + std::string(name) + ".");
    if (!only_.empty() && std::find(only_.begin(), only_.end(), name) == only_.end())
        throw Error("has a variable " + std::string(name) + " that was not screened for reading.");
    lastMatioMessage.clear();
    MatPtr mat(Mat_Open(path_.c_str(), MAT_ACC_RDONLY));
    if (!mat) throw Error(matioReason("cannot be opened by the MAT-file reader") + ".");
    VarPtr var(Mat_VarRead(mat.get(), std::string(name).c_str()));
    if (!var) throw Error(matioReason("has a variable " + std::string(name) + " that cannot be read") + ".");
    return fromMatio(var.get());
}

void writeMatFile(const fs::path& path, const std::vector<MatVariable>& variables, MatCompression compression) {
    installMatioLog();
    saveAtomically(path, [&](const fs::path& temporary) {
        lastMatioMessage.clear();
        {
            MatPtr mat(Mat_CreateVer(temporary.c_str(), matHeaderText().c_str(), MAT_FT_MAT5));
            if (!mat) throw Error(matioReason("cannot create the file"));
            for (const auto& v : variables) {
                VarPtr var = toMatio(v.value, v.name.c_str());
                const auto mode = compression == MatCompression::Zlib ? MAT_COMPRESSION_ZLIB : MAT_COMPRESSION_NONE;
                if (Mat_VarWrite(mat.get(), var.get(), mode) != 0)
                    throw Error(matioReason("cannot write the variable " + v.name));
            }
            if (Mat_Close(mat.release()) != 0) throw Error(matioReason("cannot finish the file"));
        }
        // matio does not check every write; read the result back so that a
        // full disk cannot pass for a finished save.
        MatReadLimits unlimited{~std::uint64_t{0}, ~std::uint64_t{0}, ~std::size_t{0}, 64};
        MatDirectory written;
        try {
            written = screenMatBytes(readWholeFile(temporary, unlimited.maxFileBytes), unlimited);
        } catch (const Error& e) {
            throw Error(std::string("the new file came out incomplete (is the disk full?): it ") + e.what());
        }
        for (const auto& v : variables)
            if (!written.find(v.name)) throw Error("the new file came out without the variable " + v.name);
    });
}

}  // namespace bt
