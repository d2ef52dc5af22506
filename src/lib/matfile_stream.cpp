// Streaming writer for large double matrices: the elements are produced in
// chunks straight into the output buffer, so a waveform is never held twice.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>

#include "lib/atomic_save.h"
#include "lib/matfile.h"
#include "lib/matfile_format.h"

namespace bt {

namespace {

using namespace matformat;

constexpr std::size_t kChunkElements = 1 << 15;

class BufferedFile {
public:
    explicit BufferedFile(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) {
        if (fd_ < 0) throw Error(std::string("cannot open the new file: ") + std::strerror(errno));
        buffer_.reserve(kBufferBytes);
    }
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;
    ~BufferedFile() {
        if (fd_ >= 0) ::close(fd_);
    }

    void bytes(const void* p, std::size_t n) {
        const char* c = static_cast<const char*>(p);
        while (n > 0) {
            if (buffer_.size() == kBufferBytes) flush();
            const std::size_t take = std::min(n, kBufferBytes - buffer_.size());
            buffer_.insert(buffer_.end(), c, c + take);
            c += take;
            n -= take;
        }
    }
    void u32(std::uint32_t x) {
        const unsigned char b[4] = {static_cast<unsigned char>(x), static_cast<unsigned char>(x >> 8),
                                    static_cast<unsigned char>(x >> 16), static_cast<unsigned char>(x >> 24)};
        bytes(b, 4);
    }
    void tag(std::uint32_t type, std::uint32_t n) {
        u32(type);
        u32(n);
    }
    void zeros(std::size_t n) {
        static constexpr char z[8] = {};
        bytes(z, n);
    }

    void flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t w = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) throw Error(std::string("cannot write the new file: ") + std::strerror(w < 0 ? errno : ENOSPC));
            done += static_cast<std::size_t>(w);
        }
        buffer_.clear();
    }

    void close() {
        flush();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw Error(std::string("cannot finish the new file: ") + std::strerror(errno));
    }

private:
    static constexpr std::size_t kBufferBytes = 1 << 20;
    int fd_;
    std::vector<char> buffer_;
};

void writeHeader(BufferedFile& out) {
    std::string text = matHeaderText();
    text.resize(kHeaderTextBytes, ' ');
    out.bytes(text.data(), text.size());
    out.zeros(8);  // no subsystem data
    const unsigned char versionAndEndian[4] = {0x00, 0x01, 'I', 'M'};
    out.bytes(versionAndEndian, 4);
}

void writeMatrix(BufferedFile& out, const MatMatrixSource& m) {
    constexpr std::uint64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
    if (m.rows > kInt32Max || m.cols > kInt32Max) throw Error("the matrix " + m.name + " is too large for a MAT-file");
    const std::uint64_t n = static_cast<std::uint64_t>(m.rows) * m.cols;
    const std::uint64_t name = m.name.size();
    if (name == 0 || name > 63) throw Error("bad variable name \"" + m.name + "\"");
    const std::uint64_t nameBytes = name <= 4 ? 8 : 8 + paddedSize(name);
    const std::uint64_t parts = m.complex ? 2 : 1;
    const std::uint64_t body = 16 + 16 + nameBytes + parts * (8 + 8 * n);
    if (8 * n > std::numeric_limits<std::uint32_t>::max() || body > std::numeric_limits<std::uint32_t>::max())
        throw Error("the matrix " + m.name + " is too large for a version 5 MAT-file");

    out.tag(miMATRIX, static_cast<std::uint32_t>(body));
    out.tag(miUINT32, 8);
    out.u32(static_cast<std::uint32_t>(MatClass::Double) | (m.complex ? kComplexFlag : 0));
    out.u32(0);
    out.tag(miINT32, 8);
    out.u32(static_cast<std::uint32_t>(m.rows));
    out.u32(static_cast<std::uint32_t>(m.cols));
    if (name <= 4) {
        out.u32(static_cast<std::uint32_t>(name << 16) | miINT8);
        out.bytes(m.name.data(), name);
        out.zeros(4 - name);
    } else {
        out.tag(miINT8, static_cast<std::uint32_t>(name));
        out.bytes(m.name.data(), name);
        out.zeros(paddedSize(name) - name);
    }
    std::vector<double> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(n, kChunkElements)));
    for (std::uint64_t part = 0; part < parts; ++part) {
        out.tag(miDOUBLE, static_cast<std::uint32_t>(8 * n));
        for (std::uint64_t first = 0; first < n; first += kChunkElements) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkElements, n - first));
            m.fill(static_cast<std::size_t>(first), count, part == 1, chunk.data());
            out.bytes(chunk.data(), count * sizeof(double));  // the file is little-endian, as is the host
        }
    }
}

}  // namespace

void writeMatMatrices(const std::filesystem::path& path, const std::vector<MatMatrixSource>& matrices) {
    static_assert(std::endian::native == std::endian::little, "the writer stores numbers in host order");
    saveAtomically(path, [&](const std::filesystem::path& temporary) {
        BufferedFile out(temporary);
        writeHeader(out);
        for (const auto& m : matrices) writeMatrix(out, m);
        out.close();
    });
}

}  // namespace bt
