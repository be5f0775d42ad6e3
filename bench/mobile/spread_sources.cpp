// Loaded into wrk with LD_PRELOAD by bench_lanserve: each IPv4 connection to a loopback address is made
// from a loopback address of its own, 127.0.1.1 up to 127.0.1.N (N from SPREAD_SOURCES, default 50), as
// the phones on a restaurant's Wi-Fi each have their own address. wrk cannot choose the address it
// connects from, and Lanserve caps the connections from one address.

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

unsigned sourceCount() {
    const char* text = std::getenv("SPREAD_SOURCES");
    const long count = text ? std::strtol(text, nullptr, 10) : 50;
    return count > 0 && count < 255 ? static_cast<unsigned>(count) : 50;
}

bool toLoopback(const sockaddr* address) {
    return address && address->sa_family == AF_INET &&
           (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
}

} // namespace

extern "C" int connect(int socket, const sockaddr* address, socklen_t length) {
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const auto realConnect = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    static const unsigned count = sourceCount();
    static std::atomic<unsigned> next{0};
    if (toLoopback(address)) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl((127u << 24) | (1u << 8) | (1 + next++ % count));
        // A socket that is already bound keeps its address.
        ::bind(socket, reinterpret_cast<const sockaddr*>(&source), sizeof source);
    }
    return realConnect(socket, address, length);
}
