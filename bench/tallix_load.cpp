// Closed-loop load for the time server: N connections, each sending one request and
// waiting for its whole reply before the next. Every reply is checked to be the request,
// ':' and a 13-character stamp of digits and capitals. Runs for a fixed time.
//
//   tallix-load --port P [--host 127.0.0.1] [--connections N] [--size BYTES]
//               [--seconds S] [--warmup-ms MS] [--pid SERVER_PID] [--proxy v1|v2]
//
// --proxy: each connection first sends a PROXY header as a load balancer does, naming a
// client 10.x.y.z of its own (the server must have "proxy-from" for the load's address).
//
// Prints a readable summary and one line "RESULT rps=.. p50_us=.. p99_us=.. cpu_us=.."
// (cpu_us: the server's user+system CPU time per request, when --pid is given).
#include "proxy_header.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Conn
{
    int fd = -1;
    std::string request;
    std::string received;
    Clock::time_point sentAt;
};

// utime + stime of a process, in clock ticks; -1 when it cannot be read.
long long CpuTicks(long pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')'); // the command name may hold spaces
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = atoll(field.c_str());
        if (i == 15)
            stime = atoll(field.c_str());
    }
    return utime + stime;
}

bool ValidReply(const std::string &request, const std::string &reply)
{
    if (reply.size() != request.size() + 14 || reply.compare(0, request.size(), request) != 0
        || reply[request.size()] != ':')
        return false;
    for (size_t i = request.size() + 1; i < reply.size(); ++i)
        if (!((reply[i] >= '0' && reply[i] <= '9') || (reply[i] >= 'A' && reply[i] <= 'Z')))
            return false;
    return true;
}

bool SendAll(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string host = "127.0.0.1";
    int port = 0, connections = 1, size = 8;
    double seconds = 3;
    long warmupMs = 300;
    long pid = 0;
    std::string proxy;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i];
        const char *v = argv[i + 1];
        if (k == "--host")
            host = v;
        else if (k == "--port")
            port = atoi(v);
        else if (k == "--connections")
            connections = atoi(v);
        else if (k == "--size")
            size = atoi(v);
        else if (k == "--seconds")
            seconds = atof(v);
        else if (k == "--warmup-ms")
            warmupMs = atol(v);
        else if (k == "--pid")
            pid = atol(v);
        else if (k == "--proxy")
            proxy = v;
    }
    if (port <= 0 || port > 65535 || connections < 1 || connections > 10000 || size < 1 || size > 60000 || seconds <= 0
        || seconds > 600 || (!proxy.empty() && proxy != "v1" && proxy != "v2")) {
        fprintf(stderr,
                "usage: %s --port P [--host H] [--connections N] [--size B] "
                "[--seconds S] [--warmup-ms MS] [--pid PID] [--proxy v1|v2]\n",
                argv[0]);
        return 2;
    }

    const bool v6 = host.find(':') != std::string::npos;
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Conn> conns(static_cast<size_t>(connections));
    for (int i = 0; i < connections; ++i) {
        Conn &c = conns[size_t(i)];
        c.fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int rc;
        if (v6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(uint16_t(port));
            inet_pton(AF_INET6, host.c_str(), &a.sin6_addr);
            rc = connect(c.fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(uint16_t(port));
            inet_pton(AF_INET, host.c_str(), &a.sin_addr);
            rc = connect(c.fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        if (rc != 0) {
            fprintf(stderr, "connect %d: %s\n", i, strerror(errno));
            return 1;
        }
        const int one = 1;
        setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (!proxy.empty() && !SendAll(c.fd, ProxyHeader(proxy, i))) {
            fprintf(stderr, "header %d: %s\n", i, strerror(errno));
            return 1;
        }
        for (int b = 0; b < size; ++b)
            c.request.push_back(char('a' + (i + b) % 26));
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = uint32_t(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, c.fd, &ev);
    }

    const auto start = Clock::now();
    const auto measureFrom = start + std::chrono::milliseconds(warmupMs);
    const auto end = measureFrom + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (Conn &c : conns) {
        c.sentAt = Clock::now();
        if (!SendAll(c.fd, c.request)) {
            fprintf(stderr, "send failed\n");
            return 1;
        }
    }

    std::vector<uint32_t> latenciesNs;
    latenciesNs.reserve(1 << 20);
    long long measured = 0, invalid = 0;
    long long cpuBefore = -1;
    bool measuring = false;
    Clock::time_point measureStart;
    char buf[65536];
    epoll_event events[1024];
    for (;;) {
        const auto now = Clock::now();
        if (!measuring && now >= measureFrom) {
            measuring = true;
            measureStart = now;
            if (pid > 0)
                cpuBefore = CpuTicks(pid);
        }
        if (now >= end)
            break;
        const int n = epoll_wait(ep, events, 1024, 100);
        for (int i = 0; i < n; ++i) {
            Conn &c = conns[events[i].data.u32];
            const ssize_t r = recv(c.fd, buf, sizeof buf, 0);
            if (r <= 0) {
                if (r < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                fprintf(stderr, "connection closed by the server\n");
                return 1;
            }
            c.received.append(buf, size_t(r));
            if (c.received.size() < c.request.size() + 14)
                continue;
            const auto t = Clock::now();
            if (!ValidReply(c.request, c.received))
                ++invalid;
            if (measuring) {
                ++measured;
                latenciesNs.push_back(uint32_t(std::min<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(t - c.sentAt).count(), UINT32_MAX)));
            }
            c.received.clear();
            c.sentAt = t;
            if (!SendAll(c.fd, c.request)) {
                fprintf(stderr, "send failed\n");
                return 1;
            }
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - measureStart).count();
    const long long cpuAfter = pid > 0 ? CpuTicks(pid) : -1;
    for (Conn &c : conns)
        close(c.fd);
    close(ep);

    std::sort(latenciesNs.begin(), latenciesNs.end());
    auto pct = [&](double p) {
        return latenciesNs.empty() ? 0.0 : latenciesNs[size_t(p * double(latenciesNs.size() - 1))] / 1000.0;
    };
    const double rps = measured / elapsed;
    double cpuUs = -1;
    if (cpuBefore >= 0 && cpuAfter >= 0 && measured > 0)
        cpuUs = double(cpuAfter - cpuBefore) / double(sysconf(_SC_CLK_TCK)) * 1e6 / double(measured);

    printf("%d connections, %d-byte requests, %.2f s: %lld replies, %.0f req/s, p50 %.1f us, "
           "p99 %.1f us",
           connections, size, elapsed, measured, rps, pct(0.5), pct(0.99));
    if (cpuUs >= 0)
        printf(", server CPU %.2f us/req", cpuUs);
    printf(", invalid replies %lld\n", invalid);
    printf("RESULT rps=%.0f p50_us=%.1f p99_us=%.1f cpu_us=%.3f invalid=%lld\n", rps, pct(0.5), pct(0.99), cpuUs,
           invalid);
    return invalid == 0 && measured > 0 ? 0 : 1;
}
