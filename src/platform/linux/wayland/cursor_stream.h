#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform_ops.h"

namespace morvane::wayland {

// Where the pointer is, read from the cursor metadata of the session's screen-cast streams on a
// PipeWire thread of its own. The frames themselves are taken and given back unread.
class CursorStream {
public:
    struct Source {
        unsigned node = 0;
        int x = 0;  // the monitor's place on the desktop
        int y = 0;
        int width = 0;  // and its size: a cursor outside it is on another monitor
        int height = 0;
    };

    // Takes `fd` (from OpenPipeWireRemote). Null with `error` set when PipeWire refuses.
    static std::unique_ptr<CursorStream> open(int fd, const std::vector<Source>& sources,
                                              std::string& error);

    CursorStream(const CursorStream&) = delete;
    CursorStream& operator=(const CursorStream&) = delete;
    CursorStream(CursorStream&&) = delete;
    CursorStream& operator=(CursorStream&&) = delete;
    ~CursorStream();

    // False until a stream has shown the pointer on its monitor: the desktop may send nothing
    // before the pointer first moves.
    bool position(POINT& point) const;

private:
    struct Impl;
    explicit CursorStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace morvane::wayland
