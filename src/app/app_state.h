#pragma once
// The library entry: process-wide application state shared by the windows,
// the command line and the instrument routines.
#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/settings.h"
#include "instrument/delay_finder_config.h"
#include "lib/types.h"

namespace bt {

// The application records that every window reads and writes.
struct AppState {
    AppInfo appInfo;
    Configuration configuration;
    Parameters parameters;
    bt::SigGenSettings SigGenSettings;
    ComplexRow waveform;  // the last computed signal
    Markers markers;
    DirtyTxState dirtyTx;
    bt::DelayFinderConfig DelayFinderConfig;  // the clock/gate delay calibration
    // The Gaussian generator that noise draws from is the calling thread's
    // own (gaussianGenerator(), lib/random.h): generation routines use it
    // without the library state.
};

// Builds every record with its defaults, in the start-up order: appInfo,
// configuration, parameters (running the dirty-transmitter set-up steps),
// SigGenSettings.
void initializeAppState(AppState& state);
// The settings record with its defaults (dirty-transmitter records
// included), as File New and the start-up make it.
void initializeParameters(AppState& state);
// The instrument settings for the current settings record.
void initializeSigGenSettings(AppState& state);

// Creates the process-wide state (a second call keeps the existing one).
// Returns true when the library is ready.
bool Bt_c_libInitialize();
// Releases it; harmless when not initialised.
void Bt_c_libTerminate();
bool libInitialized();
// The process-wide state; throws bt::Error before Bt_c_libInitialize.
AppState& appState();

}  // namespace bt
