#include "platform/modem-internal.h"

namespace kra::platform::lines {

uint32_t MmInitialize(uint32_t* deviceCount, uint32_t* apiVersion) {
    *deviceCount = 0;
    *apiVersion = 0;
    return kLineErrOperationUnavailable;
}
uint32_t MmOpen(uint32_t, uint32_t* line) {
    *line = 0;
    return kLineErrOperationUnavailable;
}
void MmClose(uint32_t) {}
void MmShutdown() {}
void MmStopWatch() {}

}  // namespace kra::platform::lines
