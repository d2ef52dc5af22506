#include "app/app_state.h"

#include <memory>

#include "lib/errors.h"
#include "lib/random.h"

namespace bt {

namespace {
std::unique_ptr<AppState>& stateSlot() {
    static std::unique_ptr<AppState> state;
    return state;
}
}  // namespace

void initializeParameters(AppState& s) {
    Parameters& p = s.parameters;
    static_cast<GenerationSettings&>(p) = GenerationSettings{};
    DirtyTxState& dt = s.dirtyTx;
    dt = DirtyTxState{};
    initDtParameters(dt, p);
    initDtImpairments(dt);
    initDtSigGenSettings(dt);
    initDtTestSelect(dt);
    initDtQ7395(dt);
    saveDtState(dt, p);
    p.ProjectedLength = 0;
    // Settings back at their defaults play at the defaults' rate; a rate
    // left from before would play the new waveform at the wrong speed.
    s.SigGenSettings.SamplingRate = instrumentSampleRate(p);
}

void initializeSigGenSettings(AppState& s) { s.SigGenSettings = defaultSigGenSettings(s.parameters); }

void initializeAppState(AppState& s) {
    s.appInfo = defaultAppInfo();
    s.configuration = Configuration{};
    initializeParameters(s);
    initializeSigGenSettings(s);
    s.waveform.clear();
    s.markers = Markers{};
}

bool Bt_c_libInitialize() {
    auto& slot = stateSlot();
    if (slot) return true;  // already initialised: keep the state
    auto state = std::make_unique<AppState>();
    initializeAppState(*state);
    // Noise drawn before the first generation (which reseeds it) is the
    // same in every session.
    gaussianGenerator().reseed(0);
    slot = std::move(state);
    return true;
}

void Bt_c_libTerminate() { stateSlot().reset(); }

bool libInitialized() { return stateSlot() != nullptr; }

AppState& appState() {
    auto& slot = stateSlot();
    if (!slot) throw Error("The library is not initialised: call Bt_c_libInitialize first.");
    return *slot;
}

}  // namespace bt
