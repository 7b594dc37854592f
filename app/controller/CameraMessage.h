// The camera message an event carries (sync, picture taken), as the link parsed it.
#pragma once

#include "app/link/ProtocolCommand.h"
#include "app/platform/MessageTarget.h"

// The parsed message inside an event's payload, or null when there is none.
inline const ProtocolCommand* CameraMessageOf(const platform::MessagePayload* payload)
{
    const auto* typed = dynamic_cast<const platform::Payload<ProtocolCommand>*>(payload);
    return typed != nullptr ? &typed->value : nullptr;
}
