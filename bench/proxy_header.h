#pragma once
// The PROXY header of a load's connection i, "v1" or "v2", naming client 10.0.i/256.i%256;
// the bytes are the tests' own (tests/support/ProxyHeaders.h).
#include "ProxyHeaders.h"

inline std::string ProxyHeader(const std::string &version, int i)
{
    const std::string client = "10.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
    return version == "v1" ? ProxyV1(client) : ProxyV2(client);
}
