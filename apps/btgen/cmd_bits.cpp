// btgen bits
#include <iostream>
#include <string>

#include "bluetooth/multi_packet_bits.h"
#include "bluetooth/packet.h"
#include "bluetooth/payload.h"
#include "bluetooth/size_est.h"
#include "commands.h"
#include "lib/library.h"

namespace btgen {
namespace {

struct Row {
    bt::Bits bits;
    bt::Bits marker;
};

// The rows the settings put on air: one packet each in packet mode, the
// data itself in stream mode (marked on its first bit).
std::vector<Row> airRows(const bt::GenerationSettings& p) {
    const bt::Bits data = bt::Bt_GeneratePayload(p);
    if (p.generationMode != 1) {
        bt::Bits marker(data.size(), 0);
        if (!marker.empty()) marker[0] = 1;
        return {{data, marker}};
    }
    const auto single = [&p](double seqn) {
        return bt::bt_SinglePacketInputs(p.linkType, p.packetType, p.BDaddr, p.AMaddr, seqn, p.ARQN,
                                         p.dataWhiteningActive, p.dataWhiteningInitValue);
    };
    const double packetSize = bt::Bt_UserPayloadMaxSize(p.linkType, p.packetType);
    std::vector<Row> rows;
    if (packetSize == 0 || p.multiPacket == 0) {
        bt::PacketBits pb = bt::Bt_Packet(data, single(p.SEQN));
        rows.push_back({std::move(pb.bitstream), std::move(pb.payloadMarker)});
    } else if (p.burstActive == 0) {
        // Without bursts the packets are joined back to back; cut them apart.
        const bt::MultiPacketBits m = bt::bt_MultiPacketGenerateBits(
            data, p.linkType, p.packetType, p.BDaddr, p.AMaddr, p.SEQN, p.dataWhiteningActive, p.dataWhiteningInitValue);
        for (std::size_t k = 0; k < m.packetStarts.size(); ++k) {
            const auto from = static_cast<std::ptrdiff_t>(m.packetStarts[k]);
            const auto to = static_cast<std::ptrdiff_t>(k + 1 < m.packetStarts.size() ? m.packetStarts[k + 1]
                                                                                      : m.bits.size());
            rows.push_back({bt::Bits(m.bits.begin() + from, m.bits.begin() + to),
                            bt::Bits(m.payloadMarker.begin() + from, m.payloadMarker.begin() + to)});
        }
    } else {
        // With bursts every packet is a single-packet burst of its own.
        const auto segments = bt::bt_MultiPacketSegments(data.size(), static_cast<std::size_t>(packetSize), 0);
        for (const bt::PacketSegment& s : segments) {
            bt::PacketBits pb = bt::Bt_Packet(std::span(data).subspan(s.start, s.length), single(s.SEQN));
            rows.push_back({std::move(pb.bitstream), std::move(pb.payloadMarker)});
        }
    }
    return rows;
}

void printRow(std::ostream& out, const bt::Bits& row, bool hex) {
    std::string line;
    if (hex) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < row.size(); i += 8) {
            unsigned byte = 0;
            for (std::size_t k = 0; k < 8 && i + k < row.size(); ++k) byte |= (row[i + k] & 1u) << k;
            line.push_back(kDigits[byte >> 4]);
            line.push_back(kDigits[byte & 15]);
        }
    } else {
        line.reserve(row.size());
        for (std::uint8_t b : row) line.push_back(b ? '1' : '0');
    }
    out << line << '\n';
}

void setupBits(CLI::App& app) {
    auto* cmd = app.add_subcommand("bits", "Apply settings edits and print the air bits of the packets they describe");
    static PlatformOptions platform;
    static std::vector<std::string> edits;
    static bool marker = false;
    static bool hex = false;
    static bool keepGoing = false;
    platform.add(*cmd);
    cmd->add_option("--set", edits,
                    "FIELD=VALUE edit as in 'btgen size'; the outcome of each edit is reported on standard error")
        ->type_name("FIELD=VALUE");
    cmd->add_flag("--keep-going", keepGoing, "Go on when an edit is ignored instead of stopping with status 2");
    cmd->add_flag("--marker", marker, "After each packet's line, print its payload marker (one value per bit)");
    cmd->add_flag("--hex", hex,
                  "Print each line packed into bytes, two hexadecimal digits per byte: the first air bit is the "
                  "least significant bit of the first byte, and the last byte is completed with zero bits");
    cmd->footer(
        "Prints one packet per line as 0 and 1, first air bit first: the single packet, or every packet of a "
        "multi-packet sequence in order (with bursts each packet is built as a burst of its own, without bursts "
        "as the joined sequence). In stream mode the one line is the data stream, marked on its first bit.");
    cmd->callback([] {
        bt::Parameters p = bt::appState().parameters;
        applyEdits(p, edits, platform.context(), std::cerr, true, keepGoing);
        for (const Row& row : airRows(p)) {
            printRow(std::cout, row.bits, hex);
            if (marker) printRow(std::cout, row.marker, hex);
        }
        std::cout.flush();
    });
}

const RegisterCommand bitsCommand(setupBits);

}  // namespace
}  // namespace btgen
