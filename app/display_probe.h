#pragma once

// Whether the window has a display to open on, found out without Qt: Qt ends
// the process (status 134) when its platform cannot start, and loading the
// window module for nothing is slow.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

inline constexpr std::string_view kNoDisplayMessage =
    "Cannot open the window: no display. Give a host to check it unattended.";

// Reads an environment variable; nothing when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view)>;

// True when the window can be expected to open: QT_QPA_PLATFORM names a
// platform that needs no display (offscreen, minimal, vnc, eglfs, linuxfb...)
// or one this probe does not know (Qt decides then); or a Wayland compositor
// answers on $XDG_RUNTIME_DIR/$WAYLAND_DISPLAY; or an X server answers for
// $DISPLAY (its socket /tmp/.X11-unix/X<n>, or TCP port 6000+<n> of its
// host, with a short time-out). A set variable naming a display nobody
// serves counts as no display: Qt would abort on it.
bool displayAvailable(const EnvironmentLookup& environment);

// displayAvailable with the process's environment.
bool displayAvailable();

}  // namespace ostrivane
