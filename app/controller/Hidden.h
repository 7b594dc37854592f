// The hidden window: the one place the link's threads and other processes hand messages to the
// controller. It waits for an idle dispatcher and forwards camera messages to the view on screen.
#pragma once

#include "app/platform/MessageQueue.h"

class CControlApplication;

class CHidden {
public:
    explicit CHidden(CControlApplication& controller);
    ~CHidden();
    CHidden(const CHidden&) = delete;
    CHidden& operator=(const CHidden&) = delete;

    platform::MessageQueue& Queue() { return m_queue; }

    intptr_t OnMessage(platform::Message& message);
    void OnPictureTaken(platform::Message& message);
    void OnOffline();
    void OnSync();
    void OnUpdateStatusIcon(uintptr_t code);
    void OnExit();
    void OnSuspendExit();
    void OnMarkUpdateFailed(platform::Message& message);

private:
    CControlApplication& m_controller;
    platform::MessageQueue m_queue;
};
