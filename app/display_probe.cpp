#include "app/display_probe.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#if defined(__linux__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#define OSTRIVANE_PROBE_DISPLAY 1
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#endif

namespace ostrivane {

namespace {

#ifdef OSTRIVANE_PROBE_DISPLAY

bool connectsToLocalSocket(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               path.size() + (abstract ? 0 : 1));
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

// A bounded connect: a display on another host must not hold up the start.
bool connectsToTcp(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool connected = false;
    for (const addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd waiting{fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof(error);
            connected = ::poll(&waiting, 1, 2000) == 1 &&
                        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return connected;
}

// DISPLAY is [host]:number[.screen]; an empty host or "unix" is this machine.
bool xServerAnswers(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
        number.size() > 5) {
        return false;
    }
    if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + number;
        return connectsToLocalSocket(socket, false) || connectsToLocalSocket(socket, true);
    }
    if (host.starts_with('/')) {
        return connectsToLocalSocket(display.substr(0, colon), false);
    }
    return connectsToTcp(host, 6000 + std::stoi(number));
}

bool waylandAnswers(const std::string& display, const std::optional<std::string>& runtimeDir) {
    if (display.starts_with('/')) {
        return connectsToLocalSocket(display, false);
    }
    return runtimeDir && !runtimeDir->empty() &&
           connectsToLocalSocket(*runtimeDir + "/" + display, false);
}

#endif

bool isSet(const std::optional<std::string>& value) {
    return value && !value->empty();
}

}  // namespace

bool displayAvailable(const EnvironmentLookup& environment) {
#ifdef OSTRIVANE_PROBE_DISPLAY
    bool tryX = true;
    bool tryWayland = true;
    if (const auto platform = environment("QT_QPA_PLATFORM"); isSet(platform)) {
        // "name[:options]", or a list of them separated by ";" tried in turn.
        tryX = tryWayland = false;
        std::string_view rest = *platform;
        while (!rest.empty()) {
            const auto end = rest.find(';');
            const auto entry = rest.substr(0, end);
            const auto name = entry.substr(0, entry.find(':'));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (name == "xcb") {
                tryX = true;
            } else if (name.starts_with("wayland")) {
                tryWayland = true;
            } else {
                // offscreen, minimal, vnc, eglfs, linuxfb... need no display;
                // a platform this probe does not know is Qt's to judge.
                return true;
            }
        }
    }
    if (tryWayland && isSet(environment("WAYLAND_SOCKET"))) {
        return true;  // a socket handed over by the compositor
    }
    if (const auto wayland = environment("WAYLAND_DISPLAY");
        tryWayland && isSet(wayland) && waylandAnswers(*wayland, environment("XDG_RUNTIME_DIR"))) {
        return true;
    }
    const auto x = environment("DISPLAY");
    return tryX && isSet(x) && xServerAnswers(*x);
#else
    (void)environment;
    return true;  // Windows and macOS always have their own display
#endif
}

bool displayAvailable() {
    return displayAvailable([](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
}

}  // namespace ostrivane
