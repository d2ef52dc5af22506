// btgen bits
#include <iostream>
#include <string>

#include "bluetooth/air_bits.h"
#include "commands.h"
#include "app/app_state.h"

namespace btgen {
namespace {

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
    static GenerationOptions settings;
    static bool marker = false;
    static bool hex = false;
    settings.add(*cmd);
    cmd->add_flag("--marker", marker, "After each packet's line, print its payload marker (one value per bit)");
    cmd->add_flag("--hex", hex,
                  "Print each line packed into bytes, two hexadecimal digits per byte: the first air bit is the "
                  "least significant bit of the first byte, and the last byte is completed with zero bits");
    cmd->footer(
        "Prints one packet per line as 0 and 1, first air bit first: the single packet, or every packet of a "
        "multi-packet sequence in order (with bursts each packet is built as a burst of its own, without bursts "
        "as the joined sequence). In stream mode the one line is the data stream, marked on its first bit.");
    cmd->callback([] {
        const auto [p, sigGen] = settings.resolve(std::cerr);
        for (const bt::AirRow& row : bt::airRows(p)) {
            printRow(std::cout, row.bits, hex);
            if (marker) printRow(std::cout, row.marker, hex);
        }
        std::cout.flush();
    });
}

const RegisterCommand bitsCommand(setupBits);

}  // namespace
}  // namespace btgen
