// A view without a screen for running the program headless (against a camera or the simulator):
// it does what a view's display thread does with the controller's camera messages (a picture
// taken, a sync, going offline) and reports on stdout what a screen would show.
#pragma once

#include "app/controller/RecordingViewProcessor.h"
#include "app/platform/Event.h"
#include "app/platform/MessageQueue.h"

#include <mutex>
#include <string>
#include <thread>

class CControlApplication;

class CHeadlessViewProcessor : public CRecordingViewProcessor {
public:
    CHeadlessViewProcessor(ViewId id, CControlApplication& controller);
    ~CHeadlessViewProcessor() override;
    CHeadlessViewProcessor(const CHeadlessViewProcessor&) = delete;
    CHeadlessViewProcessor& operator=(const CHeadlessViewProcessor&) = delete;

    bool PostMessage(platform::Message message) override;
    bool DisplayDiskAndBatteryStatus() override;
    // The exposure view reports the picture it would show whenever it is refreshed.
    void Refresh() override;

private:
    intptr_t OnMessage(platform::Message& message);
    // Prints "SHOWING <picture> (<n> waiting)" when that differs from the last line printed.
    void ReportCurrentPicture();

    CControlApplication& m_controller;
    platform::MessageQueue m_queue;
    platform::Event m_stop{true, false};
    std::thread m_displayThread;
    std::mutex m_reportLock;
    std::string m_lastReport;
};
