#include "app/settings_files.h"

#include <algorithm>
#include <functional>

#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/settings_validate.h"
#include "bluetooth/size_est.h"
#include "app/mat_records.h"

namespace bt {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLoadTitle = "Error Loading File";

FileOutcome failure(std::string title, const fs::path& file, const std::string& reason) {
    return {false, std::move(title), file.string() + "\n" + reason};
}

FileOutcome saving(const fs::path& file, const std::function<void()>& write) {
    try {
        write();
        return {};
    } catch (const std::exception& e) {
        return {false, "Error Saving " + file.string(), e.what()};
    }
}

// The record of variable `name`, checked in two steps: the shapes from
// screening before any data is read, then the values read through matio.
template <SettingsRecord T>
void readRecord(const MatFileReader& reader, const char* name, T& record) {
    const MatValue* info = reader.info(name);
    if (!info->isStruct() || info->numel() != 1) throw FieldError(name, "holds " + info->describe() + ", not a record.");
    T probe = record;
    fromMatValue(*info, probe, name);
    fromMatValue(reader.read(name), record, name);
}

bool isTextRow(const MatValue* v) {
    return v && v->cls == MatClass::Char && v->dims.size() == 2 && v->dims[0] <= 1;
}

}  // namespace

std::string addFileExtention(const std::string& name, const std::string& ext) {
    if (name.size() > ext.size() && name.ends_with(ext)) return name;
    return name + ext;
}

// ------------------------------------------------------------ settings

FileOutcome saveParameters(const fs::path& file, const Parameters& parameters, const SigGenSettings& sigGen,
                           MatCompression compression) {
    return saving(file, [&] {
        writeMatFile(file, {{"fileParameters", toMatValue(parameters)}, {"sigGenParameters", toMatValue(sigGen)}},
                     compression);
    });
}

LoadedSettings loadParameters(const fs::path& file, const std::string& expectedFormatId, const EditContext& ctx) {
    LoadedSettings out;
    const auto fail = [&](const std::string& reason) {
        out.outcome = failure(kLoadTitle, file, reason);
        out.parameters = Parameters{};
        out.sigGen = SigGenSettings{};
        return out;
    };
    try {
        const MatFileReader reader(file, {}, {"fileParameters", "sigGenParameters"});
        const MatValue* info = reader.info("fileParameters");
        if (!info) return fail("has an Invalid File Format.");
        if (!info->isStruct() || info->numel() != 1 || !info->field("ParameterFileFormat_ID"))
            return fail("has an Invalid File Structure.");
        if (!isTextRow(info->field("ParameterFileFormat_ID"))) return fail("has an Invalid File Parameter ID.");

        Parameters p;
        readRecord(reader, "fileParameters", p);
        if (p.ParameterFileFormat_ID != expectedFormatId) return fail("has an Invalid File Parameter ID.");
        SigGenSettings s = defaultSigGenSettings(p);
        if (reader.info("sigGenParameters")) readRecord(reader, "sigGenParameters", s);

        if (auto problem = findInconsistentField(p, ctx))
            return fail("has a value the settings editors would not keep: fileParameters." + problem->text());
        if (auto problem = findInconsistentField(s, ctx.platform))
            return fail("has a value the instrument settings would not keep: sigGenParameters." + problem->text());
        dtApplyLoadedMarkerRules(p.dtParameters, p.dtOmitPollPeriods, p.dtSigGenSettings);
        p.ProjectedLength = Bt_SizeEst(p);
        out.parameters = std::move(p);
        out.sigGen = std::move(s);
        return out;
    } catch (const FieldError& e) {
        return fail(std::string("has a field that cannot be used: ") + e.what());
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

std::pair<Parameters, SigGenSettings> readSettingsFile(const fs::path& file, const EditContext& ctx) {
    LoadedSettings loaded = loadParameters(file, Parameters{}.ParameterFileFormat_ID, ctx);
    if (!loaded.outcome) {
        std::string message = loaded.outcome.message;
        std::replace(message.begin(), message.end(), '\n', ' ');
        throw Error(message);
    }
    return {std::move(loaded.parameters), std::move(loaded.sigGen)};
}

// ------------------------------------------------------- configuration

FileOutcome saveConfig(const Configuration& configuration, const fs::path& file) {
    return saving(file, [&] { writeMatFile(file, {{"fileParameters", toMatValue(configuration)}}); });
}

LoadedConfig loadConfig(const fs::path& file) {
    LoadedConfig out;
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        out.reason = file.string() + " does not exist.";
        return out;
    }
    try {
        const MatFileReader reader(file, {}, {"fileParameters"});
        if (!reader.info("fileParameters")) {
            out.reason = file.string() + " has no fileParameters.";
            return out;
        }
        Configuration c;
        readRecord(reader, "fileParameters", c);
        if (auto problem = findInconsistentField(c)) {
            out.reason = file.string() + ": fileParameters." + problem->text();
            return out;
        }
        c.LastParameterFilename.clear();
        out.configuration = std::move(c);
    } catch (const std::exception& e) {
        out.reason = file.string() + " " + e.what();
    }
    return out;
}

// ------------------------------------------------------------ waveforms

FileOutcome saveWaveform(const fs::path& file, WaveformLayout layout, const ComplexRow& w, double sampleRate) {
    const std::size_t n = w.size();
    // Column 1 the real parts, column 2 the imaginary parts.
    const auto twoColumns = [&w, n](std::size_t first, std::size_t count, bool, double* out) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = first + k;
            out[k] = i < n ? w[i].real() : w[i - n].imag();
        }
    };
    const auto scalar = [](std::string name, double x) {
        return MatMatrixSource{std::move(name), 1, 1, false,
                               [x](std::size_t, std::size_t, bool, double* out) { out[0] = x; }};
    };
    std::vector<MatMatrixSource> matrices;
    switch (layout) {
        case WaveformLayout::Ascii:
            matrices.push_back({"samples", n, 2, false, twoColumns});
            break;
        case WaveformLayout::Mat:
            matrices.push_back({"samples", n, 1, true, [&w](std::size_t first, std::size_t count, bool imag, double* out) {
                                    for (std::size_t k = 0; k < count; ++k)
                                        out[k] = imag ? w[first + k].imag() : w[first + k].real();
                                }});
            break;
        case WaveformLayout::SpecialSaveWave:
            matrices.push_back(scalar("samplePoints", static_cast<double>(n)));
            matrices.push_back(scalar("sampleRate", sampleRate));
            matrices.push_back({"wave", n, 2, false, twoColumns});
            break;
    }
    return saving(file, [&] { writeMatMatrices(file, matrices); });
}

SaveAsTarget classifySaveAsName(const fs::path& chosen, const std::string& extension) {
    const std::string name = chosen.filename().string();
    if (name.size() > kWaveformSavePrefix.size() && name.starts_with(kWaveformSavePrefix))
        return {true, chosen.parent_path() / name.substr(kWaveformSavePrefix.size())};
    return {false, addFileExtention(chosen.string(), extension)};
}

// ------------------------------------------------------- frame actions

FileOutcome openSettingsFile(AppState& state, const fs::path& file) {
    const EditContext ctx{state.appInfo.Platform, state.configuration.BBGtype};
    LoadedSettings loaded = loadParameters(file, state.parameters.ParameterFileFormat_ID, ctx);
    if (!loaded.outcome) return loaded.outcome;
    state.parameters = std::move(loaded.parameters);
    state.SigGenSettings = std::move(loaded.sigGen);
    // The waveform is made at the file's oversampling; a sample rate saved
    // beside it that disagrees would play it at the wrong speed.
    state.SigGenSettings.SamplingRate = instrumentSampleRate(state.parameters);
    state.configuration.LastParameterFilename = fs::absolute(file).string();
    return {};
}

FileOutcome saveSettingsFile(AppState& state, const fs::path& chosen) {
    const fs::path file = addFileExtention(chosen.string(), state.appInfo.ParameterFileExtension);
    FileOutcome outcome = saveParameters(file, state.parameters, state.SigGenSettings);
    if (outcome) state.configuration.LastParameterFilename = fs::absolute(file).string();
    return outcome;
}

}  // namespace bt
