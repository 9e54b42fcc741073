// What the interface's own file (ddsswizzle.cpp) takes from the containers'
// (containers.cpp).
#pragma once

namespace ddsswizzle::api {

// The sentence of a ddsswizzle_reason from DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE on; "" past the last.
const char* container_reason_text(int reason) noexcept;

}  // namespace ddsswizzle::api
