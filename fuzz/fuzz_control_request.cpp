// Requests arriving on the control socket.
#include <cstddef>
#include <cstdint>

#include "platform/instance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kra::platform::ControlRequest r =
        kra::platform::ParseControlRequest(reinterpret_cast<const char*>(data), size);
    // A valid request never carries an error, an invalid one always does.
    if ((r.kind == kra::platform::ControlRequest::Kind::kInvalid) == r.error.empty())
        __builtin_trap();
    return 0;
}
