// The yardstick for the time server: a minimal single-threaded epoll server of the same
// protocol (each arrival answered with the bytes received, ':' and a 13-character UTC
// stamp, in one send, TCP_NODELAY). It stops by itself after --max-seconds.
//
//   epoll-reference --port P [--max-seconds S]
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

volatile sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

const char *Months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// ddMMMyyhhnnss in UTC, computed for every reply as the real server does.
void Stamp(char out[13])
{
    const time_t now = time(nullptr);
    struct tm t;
    gmtime_r(&now, &t);
    auto two = [](char *p, int v) {
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
    };
    two(out, t.tm_mday);
    memcpy(out + 2, Months[t.tm_mon], 3);
    two(out + 5, t.tm_year % 100);
    two(out + 7, t.tm_hour);
    two(out + 9, t.tm_min);
    two(out + 11, t.tm_sec);
}

struct Conn
{
    std::string pending; // unsent rest of replies
};

} // namespace

int main(int argc, char **argv)
{
    int port = 0;
    long maxSeconds = 600;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--port"))
            port = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--max-seconds"))
            maxSeconds = atol(argv[i + 1]);
    }
    if (port <= 0 || port > 65535) {
        fprintf(stderr, "usage: %s --port P [--max-seconds S]\n", argv[0]);
        return 2;
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    signal(SIGPIPE, SIG_IGN);

    const int lfd = socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1, zero = 0;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(lfd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_any;
    a.sin6_port = htons(uint16_t(port));
    if (bind(lfd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(lfd, SOMAXCONN) != 0) {
        perror("listen");
        return 1;
    }
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = lfd;
    epoll_ctl(ep, EPOLL_CTL_ADD, lfd, &ev);

    std::unordered_map<int, Conn> conns;
    static char buf[65536 + 14];
    const time_t end = time(nullptr) + maxSeconds;
    epoll_event events[256];
    while (!stopRequested && time(nullptr) < end) {
        const int n = epoll_wait(ep, events, 256, 1000);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == lfd) {
                for (;;) {
                    const int c = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (c < 0)
                        break;
                    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event cev{};
                    cev.events = EPOLLIN;
                    cev.data.fd = c;
                    epoll_ctl(ep, EPOLL_CTL_ADD, c, &cev);
                    conns[c];
                }
                continue;
            }
            Conn &conn = conns[fd];
            if ((events[i].events & EPOLLOUT) && !conn.pending.empty()) {
                const ssize_t w = send(fd, conn.pending.data(), conn.pending.size(), MSG_NOSIGNAL);
                if (w > 0)
                    conn.pending.erase(0, size_t(w));
                if (conn.pending.empty()) {
                    epoll_event cev{};
                    cev.events = EPOLLIN;
                    cev.data.fd = fd;
                    epoll_ctl(ep, EPOLL_CTL_MOD, fd, &cev);
                }
                continue;
            }
            const ssize_t r = recv(fd, buf, 65536, 0);
            if (r <= 0) {
                if (r < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                close(fd);
                conns.erase(fd);
                continue;
            }
            buf[r] = ':';
            Stamp(buf + r + 1);
            const size_t len = size_t(r) + 14;
            if (!conn.pending.empty()) {
                conn.pending.append(buf, len);
                continue;
            }
            const ssize_t w = send(fd, buf, len, MSG_NOSIGNAL);
            if (w < ssize_t(len)) {
                conn.pending.assign(buf + (w > 0 ? w : 0), len - size_t(w > 0 ? w : 0));
                epoll_event cev{};
                cev.events = EPOLLIN | EPOLLOUT;
                cev.data.fd = fd;
                epoll_ctl(ep, EPOLL_CTL_MOD, fd, &cev);
            }
        }
    }
    for (auto &[fd, c] : conns)
        close(fd);
    close(lfd);
    close(ep);
    return 0;
}
