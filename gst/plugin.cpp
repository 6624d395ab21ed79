// The teko32 GStreamer plugin: libgstteko32.so with the element tekosrc.
#include "tekosrc.h"

#define PACKAGE "teko32"

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, teko32, "Parallel-port colour CCD camera",
                  gst_teko_src_plugin_init, TEKO32_VERSION, "unknown", "teko32", "teko32")
