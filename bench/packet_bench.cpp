// Packet assembly speed: a multi-packet waveform assembles thousands of
// packets, so one packet must take microseconds.
#include <benchmark/benchmark.h>

#include "bluetooth/multi_packet_bits.h"
#include "bluetooth/packet.h"
#include "bluetooth/payload.h"

namespace {

void packetOf(benchmark::State& state, double linkType, double type, std::size_t dataBits) {
    const bt::Bits data = bt::GenerateBitStream(5, static_cast<double>(dataBits));
    // Whitening on, access code built on every call, as the single-packet builder does.
    const bt::PacketInputs in = bt::bt_SinglePacketInputs(linkType, type, 0x0123456789AB, 1, 0, 1, 1, 0x5A);
    bt::Bits bits, marker;
    for (auto _ : state) {
        bits.clear();
        marker.clear();
        bt::bt_AppendPacket(data, in, bits, marker);
        benchmark::DoNotOptimize(bits.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_PacketDH5(benchmark::State& s) { packetOf(s, 2, 15, 2712); }
void BM_PacketDM5(benchmark::State& s) { packetOf(s, 2, 14, 1792); }
void BM_PacketHV1(benchmark::State& s) { packetOf(s, 1, 5, 80); }
BENCHMARK(BM_PacketDH5);
BENCHMARK(BM_PacketDM5);
BENCHMARK(BM_PacketHV1);

// The same DH5 through the value-returning form (two fresh rows per call).
void BM_PacketDH5Value(benchmark::State& state) {
    const bt::Bits data = bt::GenerateBitStream(5, 2712);
    const bt::PacketInputs in = bt::bt_SinglePacketInputs(2, 15, 0x0123456789AB, 1, 0, 1, 1, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(bt::Bt_Packet(data, in));
}
BENCHMARK(BM_PacketDH5Value);

// A long multi-packet sequence without bursts: 8 PN15 periods in DH5 packets.
void BM_MultiPacketBitsDH5(benchmark::State& state) {
    const bt::Bits data = bt::GenerateBitStream(6, 8 * 32767);
    for (auto _ : state) {
        auto m = bt::bt_MultiPacketGenerateBits(data, 2, 15, 0x0123456789AB, 1, 0, 1, 0x5A);
        benchmark::DoNotOptimize(m.bits.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * (8 * 32767 / 2712 + 1));
}
BENCHMARK(BM_MultiPacketBitsDH5)->Unit(benchmark::kMillisecond);

}  // namespace
