// The filter stack builder. TODO(pipeline): the 24 stacks and the zoom stacks.
#include "pipeline/filters/filters.h"
#include "pipeline/pipeline.h"

namespace teko::pipeline {

int32_t ConfigurationCode() { return 0; }
int32_t BuildFilterStack() { return 0; }
int32_t BuildZoomDefaultStack(int32_t /*zoom*/) { return 0; }
CFilter* OutputStage() { return nullptr; }
void SetOutputDestination(uint8_t* /*buffer*/) {}
void RunFilterStack() {}
int32_t SetRealizedFilter(int32_t filter) {
    Settings().realizedFilter = filter;
    return 1;
}

}  // namespace teko::pipeline
