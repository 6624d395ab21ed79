#include "tekosrc.h"

#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "device.h"
#include "session.h"
#include "teko32sim/scene.h"

GST_DEBUG_CATEGORY_STATIC(teko_src_debug);
#define GST_CAT_DEFAULT teko_src_debug

namespace {

using namespace teko::gstsrc;
using std::chrono::milliseconds;

enum class TransferMode { Epp, Ps2, Spp };

constexpr milliseconds kCloseWait{500};   // stop() returns within about this
constexpr milliseconds kClaimWait{2000};  // for a session finishing an abandoned frame
constexpr guint kDefaultTimeoutMs = 10000;
constexpr int kDefaultFpsN = 30;

// The 16-bit picture has red in bits 10..14 and blue in bits 0..4: RGB15.
constexpr const char* kCaps =
    "video/x-raw, format=(string){ BGR, RGB15, UYVY }, width=(int)[ 1, 640 ], "
    "height=(int)[ 1, 480 ], framerate=(fraction)[ 1/1, 1000/1 ]";

enum Property {
    kPropDevice = 1,
    kPropDeviceName,
    kPropSharpen,
    kPropAllLines,
    kPropShutter,
    kPropAutoExposure,
    kPropBrightness,
    kPropRedGain,
    kPropBlueGain,
    kPropGamma,
    kPropTimeout,
    kPropScene,
    kPropTransferMode,
};

// Everything the element keeps; GObject zero-fills the instance, so the C++
// state lives behind a pointer made in init and deleted in finalize.
struct Element {
    std::mutex lock;  // guards every field below but `settings` (atomic)
    std::string device = "auto";
    std::string deviceName;
    std::string scene;
    TransferMode mode = TransferMode::Epp;
    bool sharpen = true;
    bool allLines = true;
    guint timeoutMs = kDefaultTimeoutMs;
    std::shared_ptr<ImageSettings> settings = std::make_shared<ImageSettings>();
    std::shared_ptr<teko::sim::VirtualCamera> camera;
    TransferMode cameraMode = TransferMode::Epp;
    std::shared_ptr<Session> session;

    // Streaming thread only.
    GstVideoInfo info{};
    // Also read by the latency query on the application's thread.
    std::atomic<GstClockTime> frameDuration{GST_CLOCK_TIME_NONE};
    std::atomic<guint64> frames{0};
    bool negotiationReported = false;  // SetCaps posted the reason already
};

}  // namespace

struct _GstTekoSrc {
    GstPushSrc parent;
    Element* impl;
};

G_DEFINE_TYPE(GstTekoSrc, gst_teko_src, GST_TYPE_PUSH_SRC)

namespace {

GType TransferModeType() {
    static GType type = 0;
    if (g_once_init_enter(&type)) {
        static const GEnumValue values[] = {
            {static_cast<gint>(TransferMode::Epp), "EPP: fastest, needs an EPP port", "epp"},
            {static_cast<gint>(TransferMode::Ps2), "PS/2 bidirectional", "ps2"},
            {static_cast<gint>(TransferMode::Spp), "SPP: status lines only, slowest", "spp"},
            {0, nullptr, nullptr},
        };
        g_once_init_leave(&type, g_enum_register_static("GstTekoSrcTransferMode", values));
    }
    return type;
}

Element& Impl(gpointer object) {
    return *GST_TEKO_SRC(object)->impl;
}

std::shared_ptr<Session> CurrentSession(Element& e) {
    std::lock_guard lock(e.lock);
    return e.session;
}

std::shared_ptr<teko::sim::VirtualCamera> CameraLocked(Element& e) {
    if (!e.camera || e.cameraMode != e.mode) {
        teko::sim::CameraConfig config;
        config.port.epp = e.mode == TransferMode::Epp;
        config.port.ps2 = e.mode != TransferMode::Spp;
        e.camera = std::make_shared<teko::sim::VirtualCamera>(config);
        e.cameraMode = e.mode;
    }
    return e.camera;
}

constexpr ImageSettings::Field FieldOf(guint id) {
    switch (id) {
        case kPropShutter:
            return ImageSettings::kShutter;
        case kPropAutoExposure:
            return ImageSettings::kAutoExposure;
        case kPropBrightness:
            return ImageSettings::kBrightness;
        case kPropRedGain:
            return ImageSettings::kRedGain;
        case kPropBlueGain:
            return ImageSettings::kBlueGain;
        default:
            return ImageSettings::kGamma;
    }
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    Element& e = Impl(object);
    switch (id) {
        case kPropShutter:
        case kPropBrightness:
        case kPropRedGain:
        case kPropBlueGain:
        case kPropGamma:
            e.settings->Set(FieldOf(id), g_value_get_int(value));
            return;
        case kPropAutoExposure:
            e.settings->Set(ImageSettings::kAutoExposure, g_value_get_boolean(value) ? 1 : 0);
            return;
        default:
            break;
    }
    std::lock_guard lock(e.lock);
    // The rest take effect when the camera is opened or the picture sized.
    if (e.session && id != kPropTimeout) {
        GST_WARNING_OBJECT(object, "%s can only be changed in the NULL or READY state",
                           pspec->name);
        return;
    }
    switch (id) {
        case kPropDevice: {
            const char* text = g_value_get_string(value);
            e.device = text ? text : "auto";
            break;
        }
        case kPropSharpen:
            e.sharpen = g_value_get_boolean(value);
            break;
        case kPropAllLines:
            e.allLines = g_value_get_boolean(value);
            break;
        case kPropTimeout:
            e.timeoutMs = g_value_get_uint(value);
            break;
        case kPropScene: {
            const char* text = g_value_get_string(value);
            e.scene = text ? text : "";
            break;
        }
        case kPropTransferMode:
            e.mode = static_cast<TransferMode>(g_value_get_enum(value));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    Element& e = Impl(object);
    switch (id) {
        case kPropShutter:
        case kPropBrightness:
        case kPropRedGain:
        case kPropBlueGain:
        case kPropGamma:
            g_value_set_int(value, e.settings->Get(FieldOf(id)));
            return;
        case kPropAutoExposure:
            g_value_set_boolean(value, e.settings->Get(ImageSettings::kAutoExposure) != 0);
            return;
        default:
            break;
    }
    std::lock_guard lock(e.lock);
    switch (id) {
        case kPropDevice:
            g_value_set_string(value, e.device.c_str());
            break;
        case kPropDeviceName:
            g_value_set_string(value, e.deviceName.c_str());
            break;
        case kPropSharpen:
            g_value_set_boolean(value, e.sharpen);
            break;
        case kPropAllLines:
            g_value_set_boolean(value, e.allLines);
            break;
        case kPropTimeout:
            g_value_set_uint(value, e.timeoutMs);
            break;
        case kPropScene:
            g_value_set_string(value, e.scene.empty() ? nullptr : e.scene.c_str());
            break;
        case kPropTransferMode:
            g_value_set_enum(value, static_cast<gint>(e.mode));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
}

std::string PortName(uint16_t port) {
    char text[32];
    std::snprintf(text, sizeof text, "camera at 0x%03X", port);
    return text;
}

gboolean Start(GstBaseSrc* src) {
    Element& e = Impl(src);
    std::string device, sceneFile;
    DeviceRequest request;
    {
        std::lock_guard lock(e.lock);
        device = e.device;
        sceneFile = e.scene;
    }
    std::string error;
    const auto choice = ParseDevice(device, &error);
    if (!choice) {
        GST_ELEMENT_ERROR(src, RESOURCE, NOT_FOUND, ("No camera device \"%s\".", device.c_str()),
                          ("%s", error.c_str()));
        return FALSE;
    }
    std::optional<teko::sim::SceneImage> scene;
    if (choice->kind == DeviceChoice::Kind::Virtual) {
        if (!sceneFile.empty()) {
            scene = teko::sim::LoadPng(sceneFile, &error);
            if (!scene) {
                GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ,
                                  ("Cannot use \"%s\" as the scene.", sceneFile.c_str()),
                                  ("%s", error.c_str()));
                return FALSE;
            }
        }
        std::lock_guard lock(e.lock);
        request.camera = CameraLocked(e);
    } else {
        request.ports = choice->ports;
    }

    OpenFailure failure;
    auto session = Session::Open(request, e.settings, PortAccessProblem, kClaimWait, &failure);
    if (!session) {
        const char* text = failure.text.c_str();
        switch (failure.kind) {
            case OpenFailure::Kind::Busy:
                GST_ELEMENT_ERROR(src, RESOURCE, BUSY, ("The camera is already in use."),
                                  ("%s", text));
                break;
            case OpenFailure::Kind::Permission:
                GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ_WRITE,
                                  ("No permission to use the parallel port."), ("%s", text));
                break;
            case OpenFailure::Kind::NotFound:
                GST_ELEMENT_ERROR(src, RESOURCE, NOT_FOUND,
                                  ("No camera found on \"%s\".", device.c_str()), ("%s", text));
                break;
        }
        return FALSE;
    }
    // No frame is captured before the picture is negotiated, so the scene
    // can be set while the camera is idle.
    if (request.camera) {
        if (scene) {
            request.camera->SetScene(std::move(*scene));
        } else {
            request.camera->UseBuiltInScene();
        }
    }
    session->SetWarningHandler([src](const std::string& text) {
        GST_ELEMENT_WARNING(src, RESOURCE, FAILED, ("The camera library says: %s", text.c_str()),
                            (nullptr));
    });
    std::lock_guard lock(e.lock);
    e.deviceName = request.camera
                       ? std::string("virtual camera")
                       : PortName(session->port()) +
                             (choice->parport.empty() ? "" : " (" + choice->parport + ")");
    e.session = std::move(session);
    e.frames.store(0, std::memory_order_relaxed);
    return TRUE;
}

gboolean Stop(GstBaseSrc* src) {
    Element& e = Impl(src);
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(e.lock);
        session = std::move(e.session);
    }
    if (session) session->Close(kCloseWait);
    return TRUE;
}

GstCaps* Fixate(GstBaseSrc* src, GstCaps* caps) {
    // BGR and the largest picture of the first structure offered, 30 fps.
    caps = gst_caps_truncate(gst_caps_make_writable(caps));
    GstStructure* s = gst_caps_get_structure(caps, 0);
    const GValue* formats = gst_structure_get_value(s, "format");
    if (formats && GST_VALUE_HOLDS_LIST(formats)) {
        for (guint i = 0; i < gst_value_list_get_size(formats); ++i) {
            const GValue* v = gst_value_list_get_value(formats, i);
            if (G_VALUE_HOLDS_STRING(v) && std::strcmp(g_value_get_string(v), "BGR") == 0) {
                gst_structure_set(s, "format", G_TYPE_STRING, "BGR", nullptr);
                break;
            }
        }
    }
    gst_structure_fixate_field_nearest_int(s, "width", 640);
    gst_structure_fixate_field_nearest_int(s, "height", 480);
    gst_structure_fixate_field_nearest_fraction(s, "framerate", kDefaultFpsN, 1);
    return GST_BASE_SRC_CLASS(gst_teko_src_parent_class)->fixate(src, caps);
}

gboolean SetCaps(GstBaseSrc* src, GstCaps* caps) {
    Element& e = Impl(src);
    e.negotiationReported = true;  // every failure below posts its own reason
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, caps)) {
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION, ("Unusable caps."),
                          ("%" GST_PTR_FORMAT, static_cast<void*>(caps)));
        return FALSE;
    }
    FrameGeometry g;
    g.width = GST_VIDEO_INFO_WIDTH(&info);
    g.height = GST_VIDEO_INFO_HEIGHT(&info);
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
        case GST_VIDEO_FORMAT_BGR:
            g.format = PixelFormat::Bgr24;
            break;
        case GST_VIDEO_FORMAT_RGB15:
            g.format = PixelFormat::Rgb555;
            break;
        case GST_VIDEO_FORMAT_UYVY:
            g.format = PixelFormat::Uyvy;
            break;
        default:
            GST_ELEMENT_ERROR(src, CORE, NEGOTIATION, ("The camera has no such pixel format."),
                              ("%s", gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))));
            return FALSE;
    }
    const int fpsN = GST_VIDEO_INFO_FPS_N(&info);
    const int fpsD = GST_VIDEO_INFO_FPS_D(&info);
    if (fpsN <= 0 || fpsD <= 0) {
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION, ("The camera needs a fixed frame rate."),
                          (nullptr));
        return FALSE;
    }
    std::shared_ptr<Session> session;
    milliseconds wait;
    {
        std::lock_guard lock(e.lock);
        session = e.session;
        g.allLines = e.allLines;
        g.sharpen = e.sharpen;
        wait = milliseconds(e.timeoutMs);
    }
    if (!session) return FALSE;
    const GstClockTime duration = gst_util_uint64_scale_int(GST_SECOND, fpsD, fpsN);
    std::string why;
    if (!session->Configure(g, std::chrono::nanoseconds(duration), wait, &why)) {
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION,
                          ("The camera cannot deliver %dx%d %s pictures.", g.width, g.height,
                           gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))),
                          ("%s", why.c_str()));
        return FALSE;
    }
    // The library's rows are GStreamer's default strides for all three formats.
    if (static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0)) * g.height !=
            session->FrameBytes() ||
        GST_VIDEO_INFO_SIZE(&info) != session->FrameBytes()) {
        GST_ELEMENT_ERROR(
            src, CORE, NEGOTIATION, ("Unexpected picture layout."),
            ("stride %d, size %zu, library frame %zu bytes", GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
             GST_VIDEO_INFO_SIZE(&info), session->FrameBytes()));
        return FALSE;
    }
    e.info = info;
    e.frameDuration = duration;
    e.negotiationReported = false;
    return TRUE;
}

gboolean Negotiate(GstBaseSrc* src) {
    Element& e = Impl(src);
    e.negotiationReported = false;
    if (GST_BASE_SRC_CLASS(gst_teko_src_parent_class)->negotiate(src)) return TRUE;
    if (!e.negotiationReported) {
        GstCaps* ours = gst_pad_query_caps(GST_BASE_SRC_PAD(src), nullptr);
        GstCaps* theirs = gst_pad_peer_query_caps(GST_BASE_SRC_PAD(src), nullptr);
        gchar* oursText = gst_caps_to_string(ours);
        gchar* theirsText = theirs ? gst_caps_to_string(theirs) : g_strdup("(none)");
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION,
                          ("The camera cannot deliver any picture the next element accepts."),
                          ("the camera offers %s; downstream accepts %s", oursText, theirsText));
        g_free(oursText);
        g_free(theirsText);
        if (theirs) gst_caps_unref(theirs);
        gst_caps_unref(ours);
    }
    return FALSE;
}

gboolean DecideAllocation(GstBaseSrc* src, GstQuery* query) {
    Element& e = Impl(src);
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    GstBufferPool* pool = nullptr;
    guint size = 0, min = 0, max = 0;
    const bool update = gst_query_get_n_allocation_pools(query) > 0;
    if (update) gst_query_parse_nth_allocation_pool(query, 0, &pool, &size, &min, &max);
    size = std::max<guint>(size, static_cast<guint>(GST_VIDEO_INFO_SIZE(&e.info)));
    if (!pool) pool = gst_video_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, min, max);
    if (gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr)) {
        gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
    }
    gst_buffer_pool_set_config(pool, config);
    if (update) {
        gst_query_set_nth_allocation_pool(query, 0, pool, size, min, max);
    } else {
        gst_query_add_allocation_pool(query, pool, size, min, max);
    }
    gst_object_unref(pool);
    return GST_BASE_SRC_CLASS(gst_teko_src_parent_class)->decide_allocation(src, query);
}

gboolean Query(GstBaseSrc* src, GstQuery* query) {
    Element& e = Impl(src);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        const GstClockTime frame = e.frameDuration.load(std::memory_order_relaxed);
        if (!GST_CLOCK_TIME_IS_VALID(frame)) return FALSE;
        // A frame is timestamped when its transfer ends and handed on within
        // one frame time; one more may wait captured while the last is used.
        gst_query_set_latency(query, TRUE, frame, 2 * frame);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(gst_teko_src_parent_class)->query(src, query);
}

gboolean Unlock(GstBaseSrc* src) {
    if (auto session = CurrentSession(Impl(src))) session->SetFlushing(true);
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* src) {
    if (auto session = CurrentSession(Impl(src))) session->SetFlushing(false);
    return TRUE;
}

// Running time of a frame whose transfer ended at `captured`.
GstClockTime CaptureTime(GstElement* element, std::chrono::steady_clock::time_point captured) {
    GstClock* clock = gst_element_get_clock(element);
    if (!clock) return GST_CLOCK_TIME_NONE;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    const auto age = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - captured);
    const GstClockTime at = now - std::min<GstClockTime>(now, age.count());
    return at > base ? at - base : 0;
}

GstFlowReturn Fill(GstPushSrc* pushsrc, GstBuffer* buffer) {
    GstBaseSrc* src = GST_BASE_SRC(pushsrc);
    Element& e = Impl(pushsrc);
    std::shared_ptr<Session> session;
    milliseconds timeout;
    {
        std::lock_guard lock(e.lock);
        session = e.session;
        timeout = milliseconds(e.timeoutMs);
    }
    if (!session) return GST_FLOW_FLUSHING;

    // Controlled properties take their values for this moment; the worker
    // writes them before the next capture.
    if (GstClock* clock = gst_element_get_clock(GST_ELEMENT(src))) {
        const GstClockTime now = gst_clock_get_time(clock);
        const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(src));
        gst_object_unref(clock);
        if (now >= base) gst_object_sync_values(GST_OBJECT(src), now - base);
    }

    Session::Frame frame;
    std::string why;
    switch (session->Acquire(timeout, &frame, &why)) {
        case Session::Result::Flushing:
            return GST_FLOW_FLUSHING;
        case Session::Result::Failed:
            GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The camera stopped answering."),
                              ("%s", why.c_str()));
            return GST_FLOW_ERROR;
        case Session::Result::TimedOut:
            GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The camera stopped sending frames."),
                              ("%s", why.c_str()));
            return GST_FLOW_ERROR;
        case Session::Result::Frame:
            break;
    }

    // One copy: the library's bottom-up rows become top-down rows.
    GstVideoFrame out;
    if (!gst_video_frame_map(&out, &e.info, buffer, GST_MAP_WRITE)) {
        session->Release();
        GST_ELEMENT_ERROR(src, RESOURCE, WRITE, ("Cannot write the output buffer."), (nullptr));
        return GST_FLOW_ERROR;
    }
    const int height = GST_VIDEO_FRAME_HEIGHT(&out);
    const size_t rowBytes = static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&e.info, 0));
    const size_t outStride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&out, 0));
    const size_t copy = std::min(rowBytes, outStride);
    auto* dst = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&out, 0));
    for (int y = 0; y < height; ++y) {
        std::memcpy(dst + y * outStride, frame.data + (height - 1 - y) * rowBytes, copy);
    }
    gst_video_frame_unmap(&out);
    session->Release();

    GST_BUFFER_PTS(buffer) = CaptureTime(GST_ELEMENT(src), frame.captured);
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = e.frameDuration;
    const guint64 index = e.frames.fetch_add(1, std::memory_order_relaxed);
    GST_BUFFER_OFFSET(buffer) = index;
    GST_BUFFER_OFFSET_END(buffer) = index + 1;
    if (frame.incomplete) {
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_CORRUPTED);
        GST_ELEMENT_WARNING(src, RESOURCE, READ,
                            ("Frame %" G_GUINT64_FORMAT " arrived incomplete.", index),
                            ("%s", frame.detail.c_str()));
    }
    return GST_FLOW_OK;
}

void Finalize(GObject* object) {
    delete GST_TEKO_SRC(object)->impl;
    G_OBJECT_CLASS(gst_teko_src_parent_class)->finalize(object);
}

GParamSpec* IntSetting(const char* name, const char* blurb, int min, int max, int def) {
    return g_param_spec_int(
        name, name, blurb, min, max, def,
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                 GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING));
}

constexpr GParamFlags kReadyFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);

}  // namespace

static void gst_teko_src_class_init(GstTekoSrcClass* klass) {
    GObjectClass* gobject = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* basesrc = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass* pushsrc = GST_PUSH_SRC_CLASS(klass);

    gobject->set_property = SetProperty;
    gobject->get_property = GetProperty;
    gobject->finalize = Finalize;

    g_object_class_install_property(
        gobject, kPropDevice,
        g_param_spec_string("device", "Device",
                            "The camera: auto (tries the ports at 0x378, 0x278, 0x3BC), virtual "
                            "(the virtual camera), a port address such as 0x378, or a parport "
                            "device such as /dev/parport0",
                            "auto", kReadyFlags));
    g_object_class_install_property(
        gobject, kPropDeviceName,
        g_param_spec_string("device-name", "Device name", "What was opened", "",
                            static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject, kPropSharpen,
        g_param_spec_boolean("sharpen", "Sharpen", "Sharpening filter", TRUE, kReadyFlags));
    g_object_class_install_property(
        gobject, kPropAllLines,
        g_param_spec_boolean("all-lines", "All lines",
                             "Read every sensor line (off: one line in three, faster)", TRUE,
                             kReadyFlags));
    g_object_class_install_property(
        gobject, kPropShutter,
        IntSetting("shutter",
                   "Shutter value, larger is a longer exposure (with auto-exposure "
                   "the starting point)",
                   0, 65535, 50));
    g_object_class_install_property(
        gobject, kPropAutoExposure,
        g_param_spec_boolean(
            "auto-exposure", "auto-exposure", "Adjust the shutter value after every frame", TRUE,
            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                     GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING)));
    g_object_class_install_property(gobject, kPropBrightness,
                                    IntSetting("brightness", "Brightness", 0, 31, 19));
    g_object_class_install_property(gobject, kPropRedGain,
                                    IntSetting("red-gain", "Red gain, 40 is unity", 0, 255, 64));
    g_object_class_install_property(gobject, kPropBlueGain,
                                    IntSetting("blue-gain", "Blue gain, 40 is unity", 0, 255, 64));
    g_object_class_install_property(gobject, kPropGamma,
                                    IntSetting("gamma", "Gamma in tenths (18 is 1.8)", 6, 59, 18));
    g_object_class_install_property(
        gobject, kPropTimeout,
        g_param_spec_uint("timeout", "Timeout",
                          "Milliseconds a frame may take before the element reports an error", 1,
                          G_MAXUINT, kDefaultTimeoutMs,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                   GST_PARAM_MUTABLE_PLAYING)));
    g_object_class_install_property(
        gobject, kPropScene,
        g_param_spec_string("scene", "Scene",
                            "Virtual camera: a PNG picture it looks at instead of its built-in "
                            "scene",
                            nullptr, kReadyFlags));
    g_object_class_install_property(
        gobject, kPropTransferMode,
        g_param_spec_enum("transfer-mode", "Transfer mode",
                          "Virtual camera: what its port can do, which decides how frames move",
                          TransferModeType(), static_cast<gint>(TransferMode::Epp), kReadyFlags));

    gst_element_class_set_static_metadata(
        element, "Parallel-port camera source", "Source/Video",
        "Captures video from the parallel-port colour CCD camera or its virtual camera",
        "teko32 developers");
    GstCaps* caps = gst_caps_from_string(kCaps);
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);

    basesrc->start = Start;
    basesrc->stop = Stop;
    basesrc->fixate = Fixate;
    basesrc->set_caps = SetCaps;
    basesrc->negotiate = Negotiate;
    basesrc->decide_allocation = DecideAllocation;
    basesrc->query = Query;
    basesrc->unlock = Unlock;
    basesrc->unlock_stop = UnlockStop;
    pushsrc->fill = Fill;

    gst_type_mark_as_plugin_api(TransferModeType(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_teko_src_init(GstTekoSrc* self) {
    self->impl = new Element;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

gboolean gst_teko_src_plugin_init(GstPlugin* plugin) {
    GST_DEBUG_CATEGORY_INIT(teko_src_debug, "tekosrc", 0, "parallel-port camera source");
    return gst_element_register(plugin, "tekosrc", GST_RANK_NONE, GST_TYPE_TEKO_SRC);
}

namespace teko::gstsrc {

std::shared_ptr<sim::VirtualCamera> VirtualCameraOf(GstElement* element) {
    if (!GST_IS_TEKO_SRC(element)) return nullptr;
    Element& e = Impl(element);
    std::lock_guard lock(e.lock);
    return CameraLocked(e);
}

bool RegisterStaticPlugin() {
    return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "teko32",
                                      "Parallel-port colour CCD camera", gst_teko_src_plugin_init,
                                      TEKO32_VERSION, "unknown", "teko32", "teko32", "teko32") != 0;
}

}  // namespace teko::gstsrc
