// Screening of MAT-files before matio reads them. The walk below follows the
// version 5 layout exactly as matio does (128-byte header, then tagged data
// elements, each array an miMATRIX element of flags, dimensions, name and
// contents), and refuses anything whose counts disagree with the bytes that
// are present, so that every allocation and read matio makes afterwards is
// bounded by the file itself.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "lib/matfile.h"
#include "lib/matfile_format.h"

namespace bt {

namespace {

using namespace matformat;

[[noreturn]] void damaged(const std::string& what, std::size_t offset) {
    throw Error("is damaged: " + what + " (at byte " + std::to_string(offset) + ").");
}

// One data element: its type, its contents and where it started.
struct Element {
    std::uint32_t type = 0;
    std::string_view data;
    std::size_t offset = 0;
    bool small = false;  // packed into its tag
};

// Reads consecutive data elements from a span of bytes.
class ElementReader {
public:
    ElementReader(std::string_view bytes, std::size_t offset, bool swap)
        : rest_(bytes), offset_(offset), swap_(swap) {}

    bool empty() const { return rest_.empty(); }
    std::size_t offset() const { return offset_; }
    std::string_view rest() const { return rest_; }

    // `padded`: the element is followed by padding to a multiple of 8 bytes
    // (true everywhere except for compressed top-level elements).
    Element next(bool padded = true) {
        if (rest_.size() < 8) damaged("the data end inside an element tag", offset_);
        const std::uint32_t a = readU32(rest_.data(), swap_);
        Element e;
        e.offset = offset_;
        if ((a >> 16) != 0) {  // small element: type and size share the first word
            const std::uint32_t n = a >> 16;
            if (n > 4) damaged("a small data element claims " + std::to_string(n) + " bytes", offset_);
            e.type = a & 0xFFFF;
            e.small = true;
            e.data = rest_.substr(4, n);
            advance(8);
            return e;
        }
        e.type = a;
        const std::uint64_t n = readU32(rest_.data() + 4, swap_);
        const std::uint64_t total = 8 + (padded ? paddedSize(n) : n);
        if (total > rest_.size())
            damaged("an element claims " + std::to_string(n) + " bytes but only " +
                        std::to_string(rest_.size() - 8) + " follow",
                    offset_);
        e.data = rest_.substr(8, static_cast<std::size_t>(n));
        advance(static_cast<std::size_t>(total));
        return e;
    }

private:
    void advance(std::size_t n) {
        rest_.remove_prefix(n);
        offset_ += n;
    }

    std::string_view rest_;
    std::size_t offset_;
    bool swap_;
};

// Unpacks a compressed element. With `prefixOnly`, stops without complaint
// once `cap` bytes are out (or the data end): enough to read an array's
// flags, dimensions and name.
std::string unpack(std::string_view packed, std::uint64_t cap, std::size_t offset, bool prefixOnly = false) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) damaged("the compressed data cannot be unpacked", offset);
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (out.size() >= cap) {
            inflateEnd(&z);
            if (prefixOnly) return out;
            // Sound data past a cap are not damage: the file is too big for us.
            throw Error("is too large to read: its compressed data unpack to more than " + std::to_string(cap) +
                        " bytes.");
        }
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(cap - out.size(), 1u << 16));
        const std::size_t used = out.size();
        out.resize(used + chunk);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = static_cast<uInt>(chunk);
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(used + (chunk - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_in == 0) rc = Z_DATA_ERROR;  // input ended early
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END && !prefixOnly) damaged("the compressed data are corrupt or cut short", offset);
    return out;
}

// Bytes an array's tag, flags, dimensions (at most 32) and name (at most
// kMaxNameLength characters) take at most.
constexpr std::size_t kArrayHeadBytes = 8 + 16 + 8 + 4 * 32 + 8 + kMaxNameLength;

class Screener {
public:
    Screener(const MatReadLimits& limits, bool swap, const std::vector<std::string>& only)
        : limits_(limits), swap_(swap), only_(only) {}

    MatDirectory run(std::string_view body, std::size_t offset) {
        MatDirectory dir;
        ElementReader top(body, offset, swap_);
        while (!top.empty()) {
            if (top.rest().size() < 8) damaged("the file ends inside an element tag", top.offset());
            const std::uint32_t type = readU32(top.rest().data(), swap_);
            if (type == miCOMPRESSED) {
                const Element e = top.next(false);
                if (auto skipped = passOver(unpack(e.data, kArrayHeadBytes, e.offset + 8, true), e.offset)) {
                    dir.variables.push_back(std::move(*skipped));
                    continue;
                }
                countRead(e.data.size(), e.offset);
                const std::string unpacked = unpack(e.data, limits_.maxUnpackedBytes - unpacked_, e.offset + 8);
                unpacked_ += unpacked.size();
                ElementReader inner(unpacked, 0, swap_);
                const Element m = inner.next();
                if (m.type != miMATRIX) damaged("a compressed element does not hold an array", e.offset);
                if (inner.rest().size() >= 8)
                    damaged("a compressed element holds more than one array", e.offset);
                dir.variables.push_back(topLevel(m));
            } else if (type == miMATRIX) {
                const Element e = top.next();
                const std::string_view head = body.substr(e.offset - offset, std::min(8 + e.data.size(), kArrayHeadBytes));
                if (auto skipped = passOver(std::string(head), e.offset)) {
                    dir.variables.push_back(std::move(*skipped));
                    continue;
                }
                countRead(e.data.size(), e.offset);
                dir.variables.push_back(topLevel(e));
            } else {
                damaged("element of unknown type " + std::to_string(type) + " where a variable belongs",
                        top.offset());
            }
        }
        return dir;
    }

private:
    // A variable nobody asked for whose contents hold no nested arrays is
    // passed over after its flags, dimensions and name: its data are never
    // unpacked or checked, and the MAT-file reader skips it the same way.
    // `head` is the start of its miMATRIX element, tag included.
    std::optional<MatVariable> passOver(const std::string& head, std::size_t offset) {
        if (only_.empty()) return std::nullopt;
        if (head.size() < 8 || readU32(head.data(), swap_) != miMATRIX) return std::nullopt;
        ElementReader r(std::string_view(head).substr(8), offset + 8, swap_);
        MatVariable v;
        try {
            const Element flags = r.next();
            if (flags.type != miUINT32 || flags.data.size() != 8) return std::nullopt;
            const unsigned cls = readU32(flags.data.data(), swap_) & 0xFF;
            if (cls > static_cast<unsigned>(MatClass::Opaque)) return std::nullopt;
            v.value.cls = static_cast<MatClass>(cls);
            if (!isNumericClass(v.value.cls) && v.value.cls != MatClass::Char) return std::nullopt;
            const Element dims = r.next();
            if (dims.type != miINT32 || dims.data.size() % 4 != 0 || dims.data.size() < 8 || dims.data.size() > 4 * 32)
                return std::nullopt;
            v.value.dims.clear();
            for (std::size_t k = 0; k < dims.data.size(); k += 4) {
                const auto d = static_cast<std::int32_t>(readU32(dims.data.data() + k, swap_));
                if (d < 0) return std::nullopt;
                v.value.dims.push_back(static_cast<std::size_t>(d));
            }
            const Element name = r.next();
            if ((name.type != miINT8 && name.type != miUINT8) || name.data.size() > kMaxNameLength) return std::nullopt;
            v.name = std::string(name.data.substr(0, name.data.find('\0')));
        } catch (const Error&) {
            return std::nullopt;  // not even a readable head: screen it in full and say why
        }
        for (const std::string& wanted : only_)
            if (v.name == wanted) return std::nullopt;
        if (v.name.empty()) return std::nullopt;
        v.value.hasData = false;
        return v;
    }

    // The stored bytes of the variables screened in full, against the cap.
    void countRead(std::size_t bytes, std::size_t offset) {
        read_ += bytes;
        if (read_ > limits_.maxFileBytes)
            throw Error("is too large to read: the variables read hold more than " +
                        std::to_string(limits_.maxFileBytes) + " bytes (at byte " + std::to_string(offset) + ").");
    }

    MatVariable topLevel(const Element& e) {
        MatVariable v;
        v.value = array(e, 0, &v.name);
        if (v.name.empty()) damaged("a variable has no name", e.offset);
        return v;
    }

    // One miMATRIX element (its contents in e.data). Fills `name` with the
    // array name when asked.
    MatValue array(const Element& e, int depth, std::string* name) {
        if (depth > limits_.maxDepth)
            damaged("arrays are nested more than " + std::to_string(limits_.maxDepth) + " deep", e.offset);
        if (++nodes_ > limits_.maxNodes)
            damaged("the file holds more than " + std::to_string(limits_.maxNodes) + " arrays", e.offset);
        MatValue v;
        v.hasData = false;
        if (e.data.empty()) return v;  // an empty field or cell, written as a bare tag
        // Writers pad every array to 8 bytes; matio finds the next one by the
        // length alone, so an unpadded length would make it read elsewhere.
        if (e.data.size() % 8 != 0) damaged("an array length that is not a multiple of 8", e.offset);

        ElementReader r(e.data, e.offset + 8, swap_);
        const Element flags = r.next();
        if (flags.type != miUINT32 || flags.data.size() != 8) damaged("bad array flags", flags.offset);
        const std::uint32_t f = readU32(flags.data.data(), swap_);
        const unsigned cls = f & 0xFF;
        v.complex = (f & kComplexFlag) != 0;
        v.logical = (f & kLogicalFlag) != 0;

        const Element dims = r.next();
        if (dims.type != miINT32 || dims.data.size() % 4 != 0 || dims.data.size() < 8 || dims.data.size() > 4 * 32)
            damaged("bad array dimensions", dims.offset);
        v.dims.clear();
        std::uint64_t numel = 1;
        for (std::size_t k = 0; k < dims.data.size(); k += 4) {
            const auto d = static_cast<std::int32_t>(readU32(dims.data.data() + k, swap_));
            if (d < 0) damaged("a negative array dimension", dims.offset);
            v.dims.push_back(static_cast<std::size_t>(d));
            numel = d == 0 ? 0 : (numel > kMaxElements / static_cast<std::uint64_t>(d) ? kMaxElements + 1 : numel * d);
        }
        if (numel > kMaxElements) damaged("an array has more elements than any file can hold", dims.offset);

        const Element nameElement = r.next();
        if ((nameElement.type != miINT8 && nameElement.type != miUINT8) || nameElement.data.size() > kMaxNameLength)
            damaged("bad array name", nameElement.offset);
        if (name) *name = std::string(nameElement.data.substr(0, nameElement.data.find('\0')));

        if (cls > static_cast<unsigned>(MatClass::Opaque)) damaged("unknown array class " + std::to_string(cls), e.offset);
        v.cls = static_cast<MatClass>(cls);
        if (isNumericClass(v.cls)) {
            numericPart(r.next(), numel);
            if (v.complex) numericPart(r.next(), numel);
        } else if (v.cls == MatClass::Char) {
            if (v.complex) damaged("complex text", e.offset);
            text(r.next(), numel);
        } else if (v.cls == MatClass::Struct || v.cls == MatClass::Cell) {
            if (v.complex || v.logical) damaged("bad flags on a struct or cell array", e.offset);
            std::uint64_t count = numel;
            if (v.cls == MatClass::Struct) {
                v.fieldNames = fieldNames(r);
                count = numel * v.fieldNames.size();  // both far below 2^32
            }
            if (count > limits_.maxNodes - nodes_ + 1)
                damaged("the file holds more than " + std::to_string(limits_.maxNodes) + " arrays", e.offset);
            v.elements.reserve(static_cast<std::size_t>(count));
            for (std::uint64_t k = 0; k < count; ++k) {
                const Element child = r.next();
                if (child.type != miMATRIX) damaged("a field or cell is not an array", child.offset);
                v.elements.push_back(array(child, depth + 1, nullptr));
            }
            if (v.cls == MatClass::Struct && v.fieldNames.empty() && numel > limits_.maxNodes)
                damaged("a struct array without fields has too many elements", e.offset);
        } else {
            throw Error("holds an array of class " + std::string(matClassName(v.cls)) +
                        ", which cannot be read here.");
        }
        if (!r.empty()) damaged(std::to_string(r.rest().size()) + " unexplained bytes after an array", r.offset());
        return v;
    }

    void numericPart(const Element& e, std::uint64_t numel) {
        const std::size_t size = numericTypeSize(e.type);
        if (size == 0) damaged("numbers stored as element type " + std::to_string(e.type), e.offset);
        if (e.data.size() != numel * size)
            damaged("an array of " + std::to_string(numel) + " numbers holds " + std::to_string(e.data.size()) +
                        " bytes",
                    e.offset);
    }

    void text(const Element& e, std::uint64_t numel) {
        std::size_t size = 0;
        if (e.type == miUINT8 || e.type == miINT8 || e.type == miUTF8) size = 1;
        if (e.type == miUINT16 || e.type == miINT16 || e.type == miUTF16) size = 2;
        if (size == 0) damaged("text stored as element type " + std::to_string(e.type), e.offset);
        if (e.data.size() != numel * size)
            damaged("a text of " + std::to_string(numel) + " characters holds " + std::to_string(e.data.size()) +
                        " bytes",
                    e.offset);
        if (e.type == miUTF8)
            for (char c : e.data)
                if (static_cast<unsigned char>(c) >= 0x80) damaged("text beyond plain ASCII", e.offset);
    }

    std::vector<std::string> fieldNames(ElementReader& r) {
        const Element len = r.next();
        // matio only reads the length in the packed form every writer uses.
        if (len.type != miINT32 || len.data.size() != 4 || !len.small) damaged("bad field name length", len.offset);
        const std::uint32_t width = readU32(len.data.data(), swap_);
        if (width == 0 || width > kMaxNameLength) damaged("bad field name length", len.offset);
        const Element names = r.next();
        if ((names.type != miINT8 && names.type != miUINT8) || names.data.size() % width != 0)
            damaged("bad field names", names.offset);
        std::vector<std::string> out;
        for (std::size_t k = 0; k < names.data.size(); k += width) {
            const std::string_view n = names.data.substr(k, width);
            out.emplace_back(n.substr(0, n.find('\0')));
        }
        return out;
    }

    const MatReadLimits& limits_;
    bool swap_;
    const std::vector<std::string>& only_;
    std::uint64_t unpacked_ = 0;
    std::uint64_t read_ = 0;
    std::size_t nodes_ = 0;
};

// The files Octave writes with its other "save" options, recognised by
// their first bytes so that the user learns what to write instead.
const char* foreignFormat(std::string_view bytes) {
    if (bytes.starts_with("# Created by Octave") || bytes.starts_with("# name: "))
        return "is an Octave text file (what \"save\" writes without options)";
    if (bytes.starts_with("Octave-1-L") || bytes.starts_with("Octave-1-B"))
        return "is an Octave binary file (what \"save -binary\" writes)";
    if (bytes.starts_with("\x1f\x8b")) return "is a gzip-compressed file (what Octave's \"save -zip\" writes)";
    if (bytes.starts_with("\x89HDF\r\n\x1a\n")) return "is an HDF5 file (what Octave's \"save -hdf5\" writes)";
    return nullptr;
}

}  // namespace

MatDirectory screenMatBytes(std::string_view bytes, const MatReadLimits& limits, const std::vector<std::string>& only) {
    if (bytes.empty()) throw Error("is empty (0 bytes), not a MAT-file.");
    if (only.empty() && bytes.size() > limits.maxFileBytes)
        throw Error("is too large to read (" + std::to_string(bytes.size()) + " bytes; at most " +
                    std::to_string(limits.maxFileBytes) + " are accepted).");
    if (const char* what = foreignFormat(bytes))
        throw Error(std::string(what) + ", which cannot be read here; \"save -v7\" writes a readable one.");
    if (bytes.size() < kHeaderBytes) throw Error("is not a MAT-file (it is shorter than a MAT-file header).");
    const std::string_view endian = bytes.substr(126, 2);
    bool swap = false;
    if (endian == "MI") swap = true;
    else if (endian != "IM") throw Error("is not a version 5 or 7 MAT-file.");
    const std::uint32_t version = swap ? (static_cast<unsigned char>(bytes[124]) << 8) | static_cast<unsigned char>(bytes[125])
                                       : (static_cast<unsigned char>(bytes[125]) << 8) | static_cast<unsigned char>(bytes[124]);
    if (version == 0x0200)
        throw Error("is a version 7.3 (HDF5) MAT-file, which cannot be read here; \"save -v7\" writes a "
                    "readable one.");
    if (version != 0x0100 || bytes.substr(0, 6) != "MATLAB") throw Error("is not a version 5 or 7 MAT-file.");
    return Screener(limits, swap, only).run(bytes.substr(kHeaderBytes), kHeaderBytes);
}

}  // namespace bt
