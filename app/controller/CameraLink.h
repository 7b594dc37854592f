// What the controller asks of the camera link: bring it up, resynchronise, shut it down.
#pragma once

class ICameraLink {
public:
    virtual ~ICameraLink() = default;
    // Opens the link and synchronises with the camera.
    virtual bool Init() = 0;
    virtual bool ReSync() = 0;
    // Stops the link's threads; the link is not used afterwards.
    virtual void Shutdown() = 0;
    virtual bool IsConnected() const = 0;
};
