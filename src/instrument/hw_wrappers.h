#pragma once
// The fixed wrappers around HwIO and the checks built on them. Each brings
// the connection record into HwIO's form first and returns (status,
// response) exactly as HwIO gave them.
#include <string>

#include "instrument/instrument_settings.h"
#include "instrument/hwio.h"

namespace bt {

// The record with its bus numbers as 32-bit integers (rounded, halves away
// from zero; out-of-range values saturate).
IoConfig Formatconfig(const Configuration& config);

HwResult HwPing(const Configuration& config);
HwResult HwSend(const Configuration& config, const std::string& command);
HwResult HwQuery(const Configuration& config, const std::string& query);
// The fourth and fifth inputs are not used: HwIO always receives "norm" and 1.
// `progress` (optional) follows the transfer and may cancel it.
HwResult HwDownload(const Configuration& config, const ComplexRow& data, const Markers& markers,
                    const std::string& unusedMode, double unusedScale, const std::string& filename,
                    const TransferProgress& progress = {});
HwResult HwReturnLocal(const Configuration& config);
HwResult HwSetTimeout(const Configuration& config, double timeOutValue);

// HwPing's result.
HwResult VerifyComm(const Configuration& config);

struct InstrModel {
    int status = 0;
    std::string desp = "succeed";
    std::string model = "b";  // last letter of the model field, lower case
};
InstrModel GetInstrModel(const Configuration& config);

// Compares the instrument's firmware version with `FMVersion` ("B.03.83").
HwResult VerifyFirmwareVersion(const Configuration& config, const std::string& FMVersion);
// The comparison alone, on an identification reply.
HwResult compareFirmwareVersion(const std::string& idnReply, const std::string& FMVersion);

}  // namespace bt
