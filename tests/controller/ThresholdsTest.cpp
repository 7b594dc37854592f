#include "app/controller/ControlApplication.h"
#include "app/controller/RecordingViewProcessor.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class Thresholds : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.SetViewFactory([this](ViewId id) {
            auto view = std::make_unique<CRecordingViewProcessor>(id);
            if (id == ViewId::Exposure) {
                exposure = view.get();
            }
            return view;
        });
        ASSERT_TRUE(app.Initialize());
        app.DiskThresholdList() = {100, 50, 10};
        app.SetLastAlarmTick(0);
        exposure->ClearCalls();
    }

    int Alarms() const
    {
        auto calls = exposure->Calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), "DisplayDiskAndBatteryStatus"));
    }

    testsupport::TempHome home;
    CControlApplication app;
    CRecordingViewProcessor* exposure = nullptr;
};

TEST_F(Thresholds, ExposuresLeftEnteringAnIntervalRaiseTheDiskAlarmOncePerMinute)
{
    app.StatusRecord().previousExposuresLeft = 60;
    app.StatusRecord().exposuresLeft = 30;  // enters (10, 50]
    app.CheckDiskAndBatteryThresholds(false, true);
    EXPECT_EQ(Alarms(), 1);
    EXPECT_EQ(app.StatusRecord().previousExposuresLeft, 30);

    app.StatusRecord().exposuresLeft = 20;
    app.StatusRecord().previousExposuresLeft = 60;
    app.CheckDiskAndBatteryThresholds(false, true);  // within 60 s of the last alarm
    EXPECT_EQ(Alarms(), 1);
}

TEST_F(Thresholds, StayingInsideTheSameIntervalRaisesNothing)
{
    app.StatusRecord().previousExposuresLeft = 40;
    app.StatusRecord().exposuresLeft = 30;
    app.CheckDiskAndBatteryThresholds(false, true);
    EXPECT_EQ(Alarms(), 0);
}

TEST_F(Thresholds, BelowTheLastThresholdEveryCallPastTheGateAlarms)
{
    for (int i = 0; i < 3; ++i) {
        app.StatusRecord().exposuresLeft = 5;
        app.SetLastAlarmTick(0);  // as if a minute had passed
        app.CheckDiskAndBatteryThresholds(false, true);
    }
    EXPECT_EQ(Alarms(), 3);
}

TEST_F(Thresholds, BatteryMinusTwoOrUnderAQuarterRaisesTheBatteryAlarm)
{
    app.StatusRecord().batteryPercent = -2;
    app.CheckDiskAndBatteryThresholds(true, false);
    EXPECT_EQ(Alarms(), 1);
    app.SetLastAlarmTick(0);
    app.StatusRecord().batteryPercent = 24;
    app.CheckDiskAndBatteryThresholds(true, false);
    EXPECT_EQ(Alarms(), 2);
    app.SetLastAlarmTick(0);
    app.StatusRecord().batteryPercent = 25;
    app.CheckDiskAndBatteryThresholds(true, false);
    app.StatusRecord().batteryPercent = 0;
    app.CheckDiskAndBatteryThresholds(true, false);
    EXPECT_EQ(Alarms(), 2);
}

TEST_F(Thresholds, SkippedChecksRaiseNothing)
{
    app.StatusRecord().batteryPercent = 5;
    app.StatusRecord().exposuresLeft = 5;
    app.CheckDiskAndBatteryThresholds(true, true);
    EXPECT_EQ(Alarms(), 0);
}

}  // namespace
