#pragma once
// What the receiver found, for people (a table per packet and a summary
// with pass/fail per measurement) and for scripts (JSON).
#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/receiver.h"

namespace bt::analysis {

struct ReceptionRow {
    std::string label;  // "waveform", "dtWaveform row 3"...
    const Reception* reception;
};

enum class Verdict { Pass, Fail, NoPacket };
Verdict verdictOf(const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary);

void printReport(std::ostream& out, const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary);
// The packet table's column titles, and one packet's row (`number` from 1).
void printPacketHeader(std::ostream& out);
void printPacketLine(std::ostream& out, std::size_t number, const ReceivedPacket& p);
// The summary alone (the last part of the report).
void printSummary(std::ostream& out, const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary);
nlohmann::json reportJson(const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary);

// The body bits as bytes, least significant bit first, in hexadecimal.
std::string bodyHex(const Bits& body);

}  // namespace bt::analysis
