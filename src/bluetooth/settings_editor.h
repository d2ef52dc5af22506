#pragma once
// Editing rules of the settings record, one operation per control of the
// main window. Each takes the record and what the user entered and returns
// the new record, what the touched controls must show now, and the outcome
// of the projected-size check. Entries are clamped, never refused; only the
// size check refuses, and then the record comes back unchanged.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bluetooth/settings.h"
#include "bluetooth/size_est.h"

namespace bt {

// The instrument the edits are checked against.
struct EditContext {
    char platform = 'c';          // appInfo.Platform
    std::string bbgType = "002";  // configuration.BBGtype
};

struct EditResult {
    Parameters parameters;  // after the edit (the original on refusal)
    // Field name and the text its control must show now, for the edited
    // field and every field the edit changed, plus "ProjectedLength".
    std::vector<std::pair<std::string, std::string>> shown;
    SizeCheck check;       // Accepted when no check ran
    std::string ignored;   // why nothing was applied (disabled control, unusable entry)
    bool unreadable = false;  // the entry did not read as a number
    std::optional<double> samplingRate;  // new instrument sample rate (OverSampling and impairment edits)

    bool refused() const { return check.result == SizeCheck::Result::Refused; }
    std::string shownText(std::string_view field) const;
};

// Largest number of bits read from a user data file.
inline constexpr std::size_t MAXNUMBITS = 80000;

// Text fields (what the user typed; hexadecimal for BDaddr, AMaddr, bitPattern).
EditResult editBDaddr(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editAMaddr(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editBitPattern(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editBurstLength(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editBurstSettle(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editCGdelay(const Parameters& p, std::string_view text, const EditContext& ctx);
// Power of the DPSK section of EDR packets against their GFSK section, dB,
// clamped to kEdrRelativePowerMin .. kEdrRelativePowerMax.
inline constexpr double kEdrRelativePowerMin = -10;
inline constexpr double kEdrRelativePowerMax = 10;
// Only an EDR packet (packet mode) has a DPSK section: the control is
// enabled, and the edit taken, for one alone.
bool edrRelativePowerApplies(const GenerationSettings& p);
EditResult editEdrRelativePower(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editOverSampling(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editPatternReps(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editPatternLength(const Parameters& p, std::string_view text, const EditContext& ctx);
// Fields without a control of their own in the main window.
EditResult editSEQN(const Parameters& p, std::string_view text, const EditContext& ctx);
EditResult editWhiteningInitValue(const Parameters& p, std::string_view text, const EditContext& ctx);

// Lists and selectors (1-based list items, as the controls report them).
EditResult selectGenerationMode(const Parameters& p, int mode, const EditContext& ctx);
EditResult selectLinkType(const Parameters& p, int item, const EditContext& ctx);
EditResult selectPacketType(const Parameters& p, int item, const EditContext& ctx);
EditResult selectMultiPacket(const Parameters& p, int item, const EditContext& ctx);
// Item 8 ("User File ...") takes the bits already read from the file; no
// bits (a failed or cancelled read) leaves the payload as it was.
EditResult selectPayload(const Parameters& p, int item, const EditContext& ctx,
                         const Bits* userFileBits = nullptr);

// Check boxes.
EditResult setDataWhitening(const Parameters& p, bool on, const EditContext& ctx);
EditResult setBurstActive(const Parameters& p, bool on, const EditContext& ctx);
EditResult setMirrorSpectrum(const Parameters& p, bool on, const EditContext& ctx);

// One edit by field name, as the command line names it: list fields take
// their code (packetType=11, linkType=1, multiPacket=1, generationMode=2),
// payloadType its list item 1..10, flags 0/1, text fields what a user would
// type; "impairments.FIELD" edits the impairment record with the impairment
// window's rules (impairment_editor.h) and sets samplingRate. Unknown fields
// and non-numeric list values throw bt::Error.
EditResult editField(const Parameters& p, std::string_view field, std::string_view value,
                     const EditContext& ctx, const Bits* userFileBits = nullptr);
// The field names editField accepts.
const std::vector<std::string>& editableFields();

// Labels of the packet type list for a link (item k is code k - 2).
std::vector<std::string> packetTypeLabels(double linkType);
// Labels of the payload list: eight items, ten in multi-packet mode.
std::vector<std::string> payloadLabels(bool multiPacketList);
// The payload list item the settings show (9/10 for continuous PN9/PN15).
int payloadItem(const GenerationSettings& p);
// Text a field's control shows for the stored value.
std::string displayText(const GenerationSettings& p, std::string_view field);

}  // namespace bt
