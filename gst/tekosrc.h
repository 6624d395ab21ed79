// tekosrc: a live GStreamer video source for the parallel-port colour CCD
// camera and its virtual camera, built on the library's public entries.
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

#include <memory>

#include "teko32sim/virtual_camera.h"

G_BEGIN_DECLS

#define GST_TYPE_TEKO_SRC (gst_teko_src_get_type())
G_DECLARE_FINAL_TYPE(GstTekoSrc, gst_teko_src, GST, TEKO_SRC, GstPushSrc)

// Registers the element in `plugin` (the plugin's init function).
gboolean gst_teko_src_plugin_init(GstPlugin* plugin);

G_END_DECLS

namespace teko::gstsrc {

// The virtual camera a tekosrc uses for device=virtual, made on first use
// (and again when transfer-mode changes). Tests reach it here to set faults
// and read what the library wrote; set-up calls and observers must not
// overlap a running capture (set it up before PLAYING, read it after NULL).
std::shared_ptr<sim::VirtualCamera> VirtualCameraOf(GstElement* element);

// Registers the plugin inside the running program (for tests that link the
// element instead of loading it).
bool RegisterStaticPlugin();

}  // namespace teko::gstsrc
