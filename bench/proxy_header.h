#pragma once
// The PROXY header a load balancer puts ahead of a connection (HAProxy's send-proxy for
// "v1", send-proxy-v2 for "v2"), naming client 10.0.i/256.i%256, port 40000.
#include <string>

inline std::string ProxyHeader(const std::string &version, int i)
{
    const char client[4] = {10, 0, char(i / 256 % 256), char(i % 256)};
    if (version == "v1")
        return "PROXY TCP4 10.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256)
               + " 127.0.0.1 40000 1610\r\n";
    std::string h("\r\n\r\n\0\r\nQUIT\n\x21\x11\x00\x0c", 16);
    h.append(client, 4);
    h.append("\x7f\x00\x00\x01\x9c\x40\x06\x4a", 8);
    return h;
}
