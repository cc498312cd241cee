// The time server's figures beside closed-loop load: connection churn, start-up, idle
// connections and a client that floods without reading. Loopback only; every mode ends
// by itself.
//
//   tallix-probe churn   --port P [--connections N] [--seconds S] [--pid PID]
//                        (TALLIX_LOAD_PROXY=v1|v2: each connection first sends a PROXY header)
//       N clients, each connecting, asking once, reading the reply and closing, over and
//       over. Prints connections/s and, with --pid, the server's CPU time per connection.
//   tallix-probe hold    --port P --connections N --seconds S
//       Opens N connections, asks once on each, then holds them idle for S seconds.
//       Prints HELD once they are all answered.
//   tallix-probe flood   --port P [--seconds S] [--chunk BYTES] [--read-timeout S]
//       One connection sends CHUNK-byte blocks for S seconds without reading, then reads:
//       every byte sent must come back echoed, in order, in well-formed replies.
//   tallix-probe startup --port P [--timeout S] -- PROGRAM [ARGS...]
//       Starts PROGRAM and prints the milliseconds until the port accepts a connection,
//       then ends PROGRAM with SIGTERM.
//   tallix-probe scrape  --port P [--seconds S] [--hostile N]
//       A Prometheus scraper in a tight loop: GET /metrics, read the whole answer, again.
//       With --hostile N, N scrapers instead that each connect, send half a request and
//       never read, connecting again whenever the endpoint drops them. Prints scrapes/s
//       (or the drops seen) and this process's own CPU time.
//   tallix-probe paced   --port P [--seconds S] [--interval-ms MS]
//       One connection sends a 4-byte request every MS milliseconds (10) whatever the
//       replies do (open loop), so that a server that stops for a moment shows it in many
//       replies at once. Prints the percentiles of each request's time to its reply.
//
// Each mode prints one line "RESULT key=value ...".
#include "proxy_header.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

long long CpuTicks(long pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (pid <= 0 || close == std::string::npos)
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

int ConnectTo(int port, int timeoutMs = 5000)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool IsStampChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

// Sends request and reads its whole reply (request, ':', 13 stamp characters).
bool Ask(int fd, const std::string &request)
{
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        return false;
    std::string got;
    char buf[256];
    while (got.size() < request.size() + 14) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        got.append(buf, size_t(n));
    }
    if (got.size() != request.size() + 14 || got.compare(0, request.size(), request) != 0 || got[request.size()] != ':')
        return false;
    for (size_t i = request.size() + 1; i < got.size(); ++i)
        if (!IsStampChar(got[i]))
            return false;
    return true;
}

std::string Arg(int argc, char **argv, const char *name, const char *fallback)
{
    for (int i = 2; i + 1 < argc; ++i) {
        if (!strcmp(argv[i], "--"))
            break;
        if (!strcmp(argv[i], name))
            return argv[i + 1];
    }
    return fallback;
}

int Churn(int port, int clients, double seconds, long pid)
{
    std::atomic<bool> stop{false};
    std::atomic<long long> done{0}, failed{0};
    std::vector<std::thread> threads;
    const long long cpuBefore = CpuTicks(pid);
    const auto start = Clock::now();
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            const std::string request = "churn" + std::to_string(i % 10) + "xy";
            const std::string header = getenv("TALLIX_LOAD_PROXY") ? ProxyHeader(getenv("TALLIX_LOAD_PROXY"), i) : "";
            while (!stop) {
                const int fd = ConnectTo(port);
                if (fd < 0 || send(fd, header.data(), header.size(), MSG_NOSIGNAL) != ssize_t(header.size())
                    || !Ask(fd, request))
                    ++failed;
                else
                    ++done;
                if (fd >= 0)
                    close(fd);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto &t : threads)
        t.join();
    const double elapsed = SecondsSince(start);
    const long long cpuAfter = CpuTicks(pid);
    double cpuUs = -1;
    if (cpuBefore >= 0 && cpuAfter >= 0 && done > 0)
        cpuUs = double(cpuAfter - cpuBefore) / double(sysconf(_SC_CLK_TCK)) * 1e6 / double(done);
    printf("RESULT conns_per_s=%.0f cpu_us_per_conn=%.2f failed=%lld\n", double(done) / elapsed, cpuUs, failed.load());
    return failed == 0 && done > 0 ? 0 : 1;
}

int Hold(int port, int connections, double seconds)
{
    std::vector<int> fds;
    for (int i = 0; i < connections; ++i) {
        const int fd = ConnectTo(port);
        if (fd < 0 || !Ask(fd, "hold" + std::to_string(i % 10) + "abc")) {
            fprintf(stderr, "connection %d was not answered\n", i);
            return 1;
        }
        fds.push_back(fd);
    }
    printf("HELD %d\n", connections);
    fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (int fd : fds)
        close(fd);
    printf("RESULT held=%d\n", connections);
    return 0;
}

int Scrape(int port, double seconds, int hostile)
{
    const auto start = Clock::now();
    long long scrapes = 0, failed = 0, drops = 0;
    std::vector<int> held;
    while (SecondsSince(start) < seconds) {
        if (hostile > 0) {
            // Keeps N half requests open; each one the endpoint drops is opened again.
            for (auto it = held.begin(); it != held.end();) {
                char c;
                pollfd p{*it, POLLIN, 0};
                if (poll(&p, 1, 0) > 0 && recv(*it, &c, 1, MSG_DONTWAIT | MSG_PEEK) <= 0) {
                    close(*it);
                    it = held.erase(it);
                    ++drops;
                } else {
                    ++it;
                }
            }
            while (int(held.size()) < hostile) {
                const int fd = ConnectTo(port);
                if (fd < 0)
                    break;
                send(fd, "GET /metr", 9, MSG_NOSIGNAL);
                held.push_back(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        const int fd = ConnectTo(port);
        static const char request[] = "GET /metrics HTTP/1.1\r\nHost: bench\r\n\r\n";
        std::string got;
        char buf[4096];
        if (fd >= 0 && send(fd, request, sizeof request - 1, MSG_NOSIGNAL) == ssize_t(sizeof request - 1))
            for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
                got.append(buf, size_t(n));
        if (fd >= 0)
            close(fd);
        ++(got.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 && got.find("tallix_listening 1") != std::string::npos ? scrapes
                                                                                                           : failed);
    }
    for (int fd : held)
        close(fd);
    const double elapsed = SecondsSince(start);
    printf("RESULT scrapes_per_s=%.0f failed=%lld drops=%lld own_cpu_s=%.2f\n", double(scrapes) / elapsed, failed,
           drops, double(CpuTicks(getpid())) / double(sysconf(_SC_CLK_TCK)));
    return failed == 0 ? 0 : 1;
}

// Splits replies out of what came back: bytes up to a ':' are echoed data (the flood's
// data holds no ':'), then 13 stamp characters.
bool EchoedData(const std::string &received, std::string &echoed)
{
    size_t pos = 0;
    while (pos < received.size()) {
        const size_t colon = received.find(':', pos);
        if (colon == std::string::npos || colon + 14 > received.size())
            return false;
        for (size_t i = colon + 1; i < colon + 14; ++i)
            if (!IsStampChar(received[i]))
                return false;
        echoed.append(received, pos, colon - pos);
        pos = colon + 14;
    }
    return true;
}

int Flood(int port, double seconds, int chunk, double readTimeout)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        perror("connect");
        return 1;
    }
    std::string block(size_t(chunk), '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = char('a' + (i * 7 + i / 26) % 26);
    long long sent = 0;
    const auto start = Clock::now();
    while (SecondsSince(start) < seconds) {
        const ssize_t n = send(fd, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            if (size_t(n) < block.size()) // the rest of this block, to keep the pattern whole
                block = block.substr(size_t(n)) + block.substr(0, size_t(n));
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            perror("send");
            return 1;
        } else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 20);
        }
    }
    printf("SENT %lld\n", sent);
    fflush(stdout);
    // Now read: every byte must come back.
    std::string received;
    std::string buf(1 << 20, '\0');
    const auto readStart = Clock::now();
    long long expectedEcho = sent;
    std::string echoed;
    while (SecondsSince(readStart) < readTimeout) {
        pollfd p{fd, POLLIN, 200};
        if (poll(&p, 1, 200) <= 0)
            continue;
        const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        received.append(buf.data(), size_t(n));
        // Replies are 14 bytes longer than their echo; stop once the lengths can add up.
        const size_t lastColon = received.rfind(':');
        if (lastColon != std::string::npos && lastColon + 14 == received.size()) {
            echoed.clear();
            if (EchoedData(received, echoed) && (long long)echoed.size() >= expectedEcho)
                break;
        }
    }
    close(fd);
    echoed.clear();
    const bool wellFormed = EchoedData(received, echoed);
    // The bytes sent, in order: rebuild them from the pattern as they were sent.
    bool same = wellFormed && (long long)echoed.size() == sent;
    if (same) {
        std::string pattern(size_t(chunk), '\0');
        for (size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = char('a' + (i * 7 + i / 26) % 26);
        for (size_t i = 0; i < echoed.size() && same; ++i)
            same = echoed[i] == pattern[i % pattern.size()];
    }
    printf("RESULT sent=%lld echoed=%zu replies_ok=%d all_answered=%d\n", sent, echoed.size(), int(wellFormed),
           int(same));
    return same ? 0 : 1;
}

int Startup(int port, double timeout, char **command)
{
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    double ms = -1;
    while (SecondsSince(start) < timeout) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        close(fd);
        if (ok) {
            ms = SecondsSince(start) * 1000;
            break;
        }
        if (waitpid(child, nullptr, WNOHANG) == child)
            break;
        usleep(500);
    }
    kill(child, SIGTERM);
    for (int i = 0; i < 100 && waitpid(child, nullptr, WNOHANG) == 0; ++i)
        usleep(50000);
    if (waitpid(child, nullptr, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    printf("RESULT startup_ms=%.1f\n", ms);
    return ms >= 0 ? 0 : 1;
}

int Paced(int port, double seconds, int intervalMs)
{
    const int fd = ConnectTo(port);
    if (fd < 0) {
        fprintf(stderr, "cannot connect\n");
        return 1;
    }
    std::deque<Clock::time_point> waiting; // send times of requests not answered yet
    std::vector<double> us;
    std::string got;
    const Clock::time_point start = Clock::now(),
                            end = start
                                  + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point next = start;
    const auto interval = std::chrono::milliseconds(intervalMs);
    // The last replies get two seconds after the last request.
    while (Clock::now() < end || (!waiting.empty() && Clock::now() < end + std::chrono::seconds(2))) {
        Clock::time_point now = Clock::now();
        if (now >= next && now < end) {
            if (send(fd, "ping", 4, MSG_NOSIGNAL) != 4)
                break;
            waiting.push_back(now);
            next += interval;
        }
        pollfd p{fd, POLLIN, 0};
        const int waitMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count());
        if (poll(&p, 1, std::clamp(waitMs, 0, intervalMs)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0)
            break;
        got.append(buf, size_t(n));
        now = Clock::now();
        // Requests that waited together come back as one reply: "pingping:STAMP".
        for (size_t colon; (colon = got.find(':')) != std::string::npos && got.size() >= colon + 14;) {
            for (size_t k = 0; k < colon / 4 && !waiting.empty(); ++k) {
                us.push_back(std::chrono::duration<double, std::micro>(now - waiting.front()).count());
                waiting.pop_front();
            }
            got.erase(0, colon + 14);
        }
    }
    close(fd);
    if (us.empty())
        return 1;
    std::sort(us.begin(), us.end());
    const auto pct = [&](double q) { return us[std::min(us.size() - 1, size_t(q * double(us.size())))]; };
    printf("RESULT requests=%zu unanswered=%zu p50_us=%.0f p99_us=%.0f max_us=%.0f\n", us.size(), waiting.size(),
           pct(0.5), pct(0.99), us.back());
    return waiting.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        fprintf(stderr, "usage: %s churn|hold|flood|scrape|paced|startup --port P ...\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const int port = atoi(Arg(argc, argv, "--port", "0").c_str());
    if (port <= 0 || port > 65535) {
        fprintf(stderr, "--port P is needed\n");
        return 2;
    }
    const double seconds = std::min(600.0, atof(Arg(argc, argv, "--seconds", "3").c_str()));
    if (mode == "churn")
        return Churn(port, std::clamp(atoi(Arg(argc, argv, "--connections", "16").c_str()), 1, 255), seconds,
                     atol(Arg(argc, argv, "--pid", "0").c_str()));
    if (mode == "hold")
        return Hold(port, std::clamp(atoi(Arg(argc, argv, "--connections", "255").c_str()), 1, 255), seconds);
    if (mode == "flood")
        return Flood(port, seconds, std::clamp(atoi(Arg(argc, argv, "--chunk", "65536").c_str()), 1, 1 << 20),
                     std::min(600.0, atof(Arg(argc, argv, "--read-timeout", "60").c_str())));
    if (mode == "paced")
        return Paced(port, seconds, std::clamp(atoi(Arg(argc, argv, "--interval-ms", "10").c_str()), 1, 1000));
    if (mode == "scrape")
        return Scrape(port, seconds, std::clamp(atoi(Arg(argc, argv, "--hostile", "0").c_str()), 0, 64));
    if (mode == "startup") {
        for (int i = 2; i < argc; ++i)
            if (!strcmp(argv[i], "--") && i + 1 < argc)
                return Startup(port, std::min(60.0, atof(Arg(argc, argv, "--timeout", "10").c_str())), argv + i + 1);
        fprintf(stderr, "startup needs -- PROGRAM\n");
        return 2;
    }
    fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
