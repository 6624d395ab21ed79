// The image pipeline's module state and operations beyond the filter list:
// pipeline settings, the colour settings the output stages read, the gamma
// table, the stack builder and the frame geometry.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "link/link.h"
#include "pipeline/filter.h"

namespace teko::pipeline {

// ---- Pipeline settings ----------------------------------------------------
struct PipelineSettings {
    int32_t sharpen = 1;
    int32_t zoom = 0;
    int32_t allLines = 1;
    int32_t outputDepth = 24;
    int32_t realizedFilter = 0;
};
PipelineSettings& Settings();

// Set only by a successful SetFrameSize: the stack has sizes and buffers.
// Read by the capture on whichever thread runs it.
bool BuffersReady();
void SetBuffersReady(bool ready);

// ---- Colour settings (written from any thread, read per frame) ------------
void SetRedScale(int32_t value);
void SetBlueScale(int32_t value);
int32_t RedScale();
int32_t BlueScale();

// ---- Gamma table (gamma.cpp) ------------------------------------------------
using GammaTable = std::array<uint8_t, 256>;
// The 256 entries for a gamma value in tenths (pure computation).
GammaTable ComputeGammaTable(int32_t gamma);
// Fills the shared table. A frame converted meanwhile on another thread sees
// each entry either old or new.
void BuildGammaTable(int32_t gamma);
// A copy of the shared table, taken by an output stage once per frame.
GammaTable CurrentGammaTable();

// What an output stage reads once at the start of a frame.
struct ColourParams {
    int32_t redScale;
    int32_t blueScale;
    GammaTable gamma;
};
ColourParams CurrentColourParams();

// ---- Stack builder (stack_builder.cpp) -------------------------------------
// The 5-bit configuration code of the current settings (0..23).
int32_t ConfigurationCode();
// Tears down the current stack and builds the one for the configuration code.
// Returns the number of filters; 0 when a filter object could not be created
// (the list is then empty and nothing can be sized or run).
int32_t BuildFilterStack();
// Builds the EnableZoom stack for `zoom` into an empty list; 0 on failure as above.
int32_t BuildZoomDefaultStack(int32_t zoom);
// The last filter of the list, or nullptr.
CFilter* OutputStage();
// Makes `buffer` (or nullptr) the output stage's destination.
void SetOutputDestination(uint8_t* buffer);
// Runs the raw frame through every filter in list order.
void RunFilterStack();
// Exported entry.
int32_t SetRealizedFilter(int32_t filter);

// ---- Frame geometry (geometry.cpp) -----------------------------------------
using link::SensorGeometry;
const SensorGeometry& Geometry();
void ReadSensorGeometry();
void NegotiateFrameSizes(int32_t width, int32_t height);
// 1, or 0 after a failed register write was reported through the message handler.
int32_t SetSensorWindow(int32_t width, int32_t height);

// Exported entries.
void InitFilterStack(int32_t zoom, int32_t allLines, int32_t sharpen);
int32_t SetFrameSize(int32_t width, int32_t height, int32_t depth);
int32_t EnableZoom(int32_t enable);

// Returns every pipeline value to its state at load (releasing what is held).
void ResetForTesting();
// Parts of ResetForTesting, one per file that owns the state.
void ResetGammaForTesting();
void ResetGeometryForTesting();
void ResetStateForTesting();

}  // namespace teko::pipeline
