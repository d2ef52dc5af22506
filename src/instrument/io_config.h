#pragma once
// The connection record as the I/O layer receives it (after Formatconfig):
// bus numbers as 32-bit integers, texts unchanged.
#include <cstdint>
#include <string>

namespace bt {

struct IoConfig {
    std::string type = "GPIB";  // "GPIB", "RS232" or "TCPIP", any case
    struct Gpib {
        std::int32_t board = 0;
        std::int32_t primary = 19;
        std::int32_t secondary = -1;  // -1: none
    } GPIB;
    struct Rs232 {
        std::int32_t port = 1;
        std::int32_t baudrate = 9600;
        std::string handshake = "Xon/Xoff";
        std::string device;  // empty: the platform's device of `port`
    } RS232;
    struct Tcpip {
        std::int32_t board = 0;
        std::string address = "0.0.0.0";  // IPv4, optionally ":port"
    } TCPIP;
};

}  // namespace bt
