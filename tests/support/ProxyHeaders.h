#pragma once
// PROXY headers as a load balancer puts them ahead of a client's bytes (HAProxy's
// send-proxy and send-proxy-v2), for the tests and the benchmark's load alike: no Qt.
#include <arpa/inet.h>
#include <string>

// Version 1 naming the client (numeric text); the rest of the line made up.
inline std::string ProxyV1(const std::string &client)
{
    const bool v6 = client.find(':') != std::string::npos;
    return std::string("PROXY ") + (v6 ? "TCP6 " : "TCP4 ") + client + (v6 ? " ::1" : " 127.0.0.1") + " 40000 1610\r\n";
}

// Version 2: PROXY over TCP naming the client (numeric text), or for none LOCAL (a health check).
inline std::string ProxyV2(const std::string &client = {}, const std::string &tlvs = {})
{
    unsigned char a[16] = {};
    const bool local = client.empty(), v4 = !local && ::inet_pton(AF_INET, client.c_str(), a) == 1;
    const std::string address(reinterpret_cast<const char *>(a), v4 || local || ::inet_pton(AF_INET6, client.c_str(), a) != 1 ? 4 : 16);
    const std::string block = (local ? std::string() : address + address + std::string("\x9c\x40\x06\x4a", 4)) + tlvs; // ports 40000, 1610
    return std::string("\r\n\r\n\0\r\nQUIT\n", 12) + char(local ? 0x20 : 0x21)
           + char(local ? 0
                  : v4  ? 0x11
                        : 0x21)
           + char(block.size() >> 8) + char(block.size()) + block;
}
