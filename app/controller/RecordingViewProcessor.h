// A view without a window: records what the controller asks of it. Used while the program runs
// without its screens and by the tests of the dispatcher.
#pragma once

#include "app/controller/ViewProcessor.h"

#include <mutex>
#include <string>
#include <vector>

class CRecordingViewProcessor : public IViewProcessor {
public:
    explicit CRecordingViewProcessor(ViewId id) : m_id(id) {}

    ViewId Id() const override { return m_id; }
    bool Initialize() override;
    bool Uninitialize() override;
    bool Display() override;
    bool Hide() override;
    bool IsWindowGone() const override;
    bool DisplayDiskAndBatteryStatus() override;
    bool PostMessage(platform::Message message) override;
    void ReleaseOneToOne() override;
    void ResetZoom() override;
    void Refresh() override;
    void SetFolderTreeMode(int mode, const std::u16string& argument) override;
    void SetPickNeutralText(const std::u16string& text) override;
    bool IsAlarmButtonDown(bool whitest) const override;
    void ShowNormalPicture() override;

    // For tests.
    std::vector<std::string> Calls() const;
    std::vector<uint32_t> PostedMessages() const;
    bool IsShown() const;
    void SetAlarmButtonDown(bool whitest, bool down);
    int FolderTreeMode() const;
    std::u16string FolderTreeArgument() const;
    void ClearCalls();

private:
    void Record(const std::string& call);

    const ViewId m_id;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<uint32_t> m_posted;
    bool m_bShown = false;
    bool m_bWhitestDown = false;
    bool m_bDarkestDown = false;
    int m_iFolderTreeMode = -1;
    std::u16string m_folderTreeArgument;
};
