#include "radio/capture_file.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include "lib/atomic_save.h"
#include "lib/errors.h"

namespace bt::radio {

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

SigmfCaptureWriter::SigmfCaptureWriter(const std::filesystem::path& name) : files_(sigmfFiles(name)) {
    partial_ = files_.data;
    partial_ += ".part";
    file_ = std::fopen(partial_.c_str(), "wb");
    if (!file_) throw Error("cannot create " + partial_.string() + ": " + std::strerror(errno));
}

SigmfCaptureWriter::~SigmfCaptureWriter() {
    if (file_) {
        std::fclose(file_);
        std::error_code ec;
        std::filesystem::remove(partial_, ec);
    }
}

bool SigmfCaptureWriter::append(const std::complex<float>* samples, std::size_t count) {
    if (!file_ || !error_.empty()) return false;
    static_assert(std::endian::native == std::endian::little, "the dataset is written as the machine stores it");
    if (std::fwrite(samples, sizeof(std::complex<float>), count, file_) != count) {
        error_ = std::string("cannot write ") + partial_.string() + ": " + std::strerror(errno);
        return false;
    }
    samples_ += count;
    return true;
}

SigmfFiles SigmfCaptureWriter::finish(const CaptureDescription& d) {
    if (!file_) throw Error("the capture was already finished");
    const bool flushed = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    const int closeFailed = std::fclose(file_);
    file_ = nullptr;
    if (!error_.empty() || !flushed || closeFailed != 0) {
        std::error_code ec;
        std::filesystem::remove(partial_, ec);
        throw Error(error_.empty() ? "cannot write " + partial_.string() + ": " + std::strerror(errno) : error_);
    }
    std::error_code ec;
    std::filesystem::rename(partial_, files_.data, ec);
    if (ec) throw Error("cannot move the dataset to " + files_.data.string() + ": " + ec.message());

    nlohmann::ordered_json global = nlohmann::ordered_json::object();
    global["core:datatype"] = "cf32_le";
    global["core:sample_rate"] = d.sampleRate;
    global["core:version"] = "1.2.5";
    global["core:recorder"] = "btgen capture";
    global["core:hw"] = d.hardware;
    global["core:description"] = "Capture from a software-defined radio";
    global["core:sha512"] = sha512OfFile(files_.data);
    global["core:extensions"] = nlohmann::ordered_json::array(
        {{{"name", "btgen"}, {"version", "1.0.0"}, {"optional", true}}});
    if (d.gain) global["btgen:gain_db"] = *d.gain;
    if (!d.antenna.empty()) global["btgen:antenna"] = d.antenna;
    global["btgen:samples_lost"] = d.gaps.size();
    nlohmann::ordered_json capture = {{"core:sample_start", 0}, {"core:frequency", d.frequency}};
    if (!d.datetime.empty()) capture["core:datetime"] = d.datetime;
    nlohmann::ordered_json annotations = nlohmann::ordered_json::array();
    for (const std::uint64_t g : d.gaps)
        annotations.push_back({{"core:sample_start", g},
                               {"core:comment", "overflow: the radio lost samples just before this one"}});
    const nlohmann::ordered_json meta = {
        {"global", global}, {"captures", nlohmann::ordered_json::array({capture})}, {"annotations", annotations}};
    saveAtomically(files_.meta, [&](const std::filesystem::path& tmp) {
        std::ofstream out(tmp, std::ios::binary);
        out << meta.dump(2) << '\n';
        if (!out.flush()) throw Error("cannot write the metadata");
    });
    return files_;
}

}  // namespace bt::radio
