// Numbers of the private messages the protocol layer posts to the controller's hidden window.
// Namespaced so that a file may include this and the controller's full message list together.
#pragma once

#include <cstdint>

namespace linkmsg {

// lParam unused; the payload is the parsed picture-taken message (a ProtocolCommand), owned by
// the receiver.
inline constexpr uint32_t WM_PICTURE_TAKEN = 1233;
// No parameters: the far end went away or resynchronisation failed.
inline constexpr uint32_t WM_OFFLINE = 1235;
// No parameters: the link came back (or a message arrived while out of sync); resynchronise.
inline constexpr uint32_t WM_SYNC = 1237;

}  // namespace linkmsg
