// The few things the protocol layer asks of the application controller. Every operation has a
// do-nothing default, so tools and tests can run the protocol layer without a controller.
#pragma once

#include "app/link/ProtocolCommand.h"

#include <cstdint>
#include <string>

class IProtocolHost {
public:
    virtual ~IProtocolHost() = default;
    // The busy indicator around a transaction that asked for it.
    virtual void SetBusyIndicator(bool /*on*/) {}
    // Init's first resynchronisation brought the camera's Sync answer.
    virtual void OnSynchronized(const ProtocolCommand& /*syncAnswer*/) {}
    // A picture-taken message named the camera's newest picture.
    virtual void SetNewestPicture(const std::u16string& /*fullName*/) {}
    // The camera announced something that makes any open message box stale.
    virtual void CloseMessageBox() {}
    // A user-visible message raised by the link itself (the camera refused the Bluetooth PIN).
    virtual void ShowMessage(const std::u16string& /*text*/) {}
    // Bytes of a picture payload received so far, after each packet or stream chunk; called on
    // the link's read thread, so it must not wait for anything.
    virtual void OnPictureProgress(uint32_t /*received*/, uint32_t /*total*/) {}
};
