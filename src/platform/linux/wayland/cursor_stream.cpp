#include "platform/linux/wayland/cursor_stream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/wayland/pointer_tracker.h"

// SPA's pod builders are C macros made of statement expressions.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#endif

namespace morvane::wayland {

namespace {

// The metadata holds the cursor's image too; the desktop drops the cursor entirely when its
// image does not fit the size agreed on, and some desktops send 384 x 384 images.
constexpr int cursorMetaSize(int width, int height) {
    return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + width * height * 4;
}

}  // namespace

struct CursorStream::Impl {
    struct Watched {
        Impl* owner = nullptr;
        pw_stream* stream = nullptr;
        spa_hook listener{};
        std::size_t index = 0;  // the stream's monitor in the tracker
    };

    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    std::vector<std::unique_ptr<Watched>> streams;
    mutable std::mutex mutex;
    PointerTracker tracker;

    explicit Impl(std::vector<PointerTracker::Monitor> monitors) : tracker(std::move(monitors)) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() {
        if (loop != nullptr) {
            pw_thread_loop_stop(loop);
        }
        for (auto& watched : streams) {
            if (watched->stream != nullptr) {
                pw_stream_destroy(watched->stream);
            }
        }
        if (core != nullptr) {
            pw_core_disconnect(core);
        }
        if (context != nullptr) {
            pw_context_destroy(context);
        }
        if (loop != nullptr) {
            pw_thread_loop_destroy(loop);
        }
    }

    static void paramChanged(void* data, uint32_t id, const spa_pod* param);
    static void process(void* data);
    bool connect(Watched& watched, unsigned node);
};

void CursorStream::Impl::paramChanged(void* data, uint32_t id, const spa_pod* param) {
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    auto* watched = static_cast<Watched*>(data);
    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer.data(), static_cast<uint32_t>(buffer.size()));
    std::array<const spa_pod*, 2> params{};
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(cursorMetaSize(64, 64), cursorMetaSize(1, 1),
                                 cursorMetaSize(384, 384))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(2, 2, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    pw_stream_update_params(watched->stream, params.data(), static_cast<uint32_t>(params.size()));
}

void CursorStream::Impl::process(void* data) {
    auto* watched = static_cast<Watched*>(data);
    // Only the newest buffer says where the pointer is now; older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(watched->stream)) {
        if (newest != nullptr) {
            pw_stream_queue_buffer(watched->stream, newest);
        }
        newest = next;
    }
    if (newest == nullptr) {
        return;
    }
    const auto* cursor = static_cast<const spa_meta_cursor*>(
        spa_buffer_find_meta_data(newest->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
    // A frame without the metadata says nothing of the cursor; one with it invalid says the
    // cursor is not on this monitor.
    if (cursor != nullptr) {
        Impl& impl = *watched->owner;
        const std::lock_guard lock(impl.mutex);
        if (spa_meta_cursor_is_valid(cursor)) {
            impl.tracker.cursorAt(watched->index, cursor->position.x, cursor->position.y);
        } else {
            impl.tracker.noCursor(watched->index);
        }
    }
    pw_stream_queue_buffer(watched->stream, newest);
}

bool CursorStream::Impl::connect(Watched& watched, unsigned node) {
    static const pw_stream_events kEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.param_changed = &Impl::paramChanged;
        events.process = &Impl::process;
        return events;
    }();
    watched.stream =
        pw_stream_new(core, "morvane-cursor",
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (watched.stream == nullptr) {
        return false;
    }
    pw_stream_add_listener(watched.stream, &watched.listener, &kEvents, &watched);
    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer.data(), static_cast<uint32_t>(buffer.size()));
    spa_rectangle defaultSize{1280, 800};
    spa_rectangle minSize{1, 1};
    spa_rectangle maxSize{16384, 16384};
    spa_fraction defaultRate{60, 1};
    spa_fraction minRate{0, 1};
    spa_fraction maxRate{1000, 1};
    const auto* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(7, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
    std::array<const spa_pod*, 1> params{format};
    return pw_stream_connect(watched.stream, PW_DIRECTION_INPUT, node,
                             static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                          PW_STREAM_FLAG_MAP_BUFFERS),
                             params.data(), 1) == 0;
}

std::unique_ptr<CursorStream> CursorStream::open(int fd, const std::vector<Source>& sources,
                                                 std::string& error) {
    pw_init(nullptr, nullptr);
    std::vector<PointerTracker::Monitor> monitors;
    monitors.reserve(sources.size());
    for (const Source& source : sources) {
        monitors.push_back({source.x, source.y, source.width, source.height});
    }
    auto impl = std::make_unique<Impl>(std::move(monitors));
    impl->loop = pw_thread_loop_new("morvane-cursor", nullptr);
    if (impl->loop == nullptr) {
        ::close(fd);
        error = "no PipeWire loop";
        return nullptr;
    }
    impl->context = pw_context_new(pw_thread_loop_get_loop(impl->loop), nullptr, 0);
    if (impl->context == nullptr) {
        ::close(fd);
        error = "no PipeWire context";
        return nullptr;
    }
    pw_thread_loop_lock(impl->loop);
    impl->core = pw_context_connect_fd(impl->context, fd, nullptr, 0);
    bool ok = impl->core != nullptr;
    for (const Source& source : sources) {
        if (!ok) {
            break;
        }
        auto watched = std::make_unique<Impl::Watched>();
        watched->owner = impl.get();
        watched->index = impl->streams.size();
        ok = impl->connect(*watched, source.node);
        impl->streams.push_back(std::move(watched));
    }
    pw_thread_loop_unlock(impl->loop);
    if (!ok) {
        error = "PipeWire refused the screen-cast streams";
        return nullptr;
    }
    if (pw_thread_loop_start(impl->loop) != 0) {
        error = "the PipeWire thread did not start";
        return nullptr;
    }
    return std::unique_ptr<CursorStream>(new CursorStream(std::move(impl)));
}

CursorStream::CursorStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

CursorStream::~CursorStream() = default;

bool CursorStream::position(POINT& point) const {
    const std::lock_guard lock(impl_->mutex);
    const std::optional<POINT> known = impl_->tracker.position();
    if (known) {
        point = *known;
    }
    return known.has_value();
}

}  // namespace morvane::wayland
