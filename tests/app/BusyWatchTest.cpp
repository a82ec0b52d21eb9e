// The busy cursor's timing, on a clock the test moves by hand.
#include <cstdint>

#include <gtest/gtest.h>

#include "app/BusyIndicator.h"
#include "app/BusyWatch.h"

namespace {

class FakeIndicator final : public BusyIndicator {
public:
    void SetWindows(std::vector<uint64_t>) override { }
    void Show() override { ++shows; }
    void Hide() override { ++hides; }
    bool PointerCaptured() override { return captured; }

    int shows = 0;
    int hides = 0;
    bool captured = false;
};

class BusyWatchTest : public ::testing::Test {
protected:
    BusyWatch MakeWatch(uint32_t thresholdMs)
    {
        return BusyWatch(thresholdMs, m_indicator, [this] { return m_nowMs; });
    }

    uint32_t m_nowMs = 5000;
    FakeIndicator m_indicator;
};

} // namespace

TEST_F(BusyWatchTest, ThresholdIsAtLeastAQuarterSecondAndTheHeartbeatHalfOfIt)
{
    const struct {
        uint32_t askedMs, thresholdMs;
    } cases[] = {{0, 250}, {100, 250}, {250, 250}, {400, 400}};
    for (const auto& c : cases) {
        BusyWatch watch(c.askedMs, m_indicator, [] { return 0u; });
        EXPECT_EQ(watch.ThresholdMs(), c.thresholdMs) << c.askedMs;
        EXPECT_EQ(watch.HeartbeatMs(), c.thresholdMs / 2) << c.askedMs;
    }
}

TEST_F(BusyWatchTest, HourglassGoesUpAfterTheThresholdAndDownAtTheNextHeartbeat)
{
    BusyWatch watch = MakeWatch(100);
    watch.SetEnabled(true);
    m_nowMs += 249;
    watch.Tick();
    EXPECT_FALSE(watch.BusyShown());
    m_nowMs += 1;
    watch.Tick();
    watch.Tick();
    EXPECT_TRUE(watch.BusyShown());
    EXPECT_EQ(m_indicator.shows, 1);

    watch.Heartbeat();
    EXPECT_FALSE(watch.BusyShown());
    EXPECT_EQ(m_indicator.hides, 1);
    // The heartbeat is the new sign of life: the count starts again from it.
    m_nowMs += 249;
    watch.Tick();
    EXPECT_EQ(m_indicator.shows, 1);
    m_nowMs += 1;
    watch.Tick();
    EXPECT_EQ(m_indicator.shows, 2);
    // A heartbeat with nothing shown hides nothing.
    watch.Heartbeat();
    watch.Heartbeat();
    EXPECT_EQ(m_indicator.hides, 2);
}

TEST_F(BusyWatchTest, NothingShowsWhileTheMouseIsCapturedOrTheWatchIsDisabled)
{
    BusyWatch watch = MakeWatch(0);
    m_nowMs += 1000;
    watch.Tick();
    EXPECT_FALSE(watch.BusyShown()) << "disabled";

    watch.SetEnabled(true);
    m_indicator.captured = true;
    watch.Tick();
    EXPECT_FALSE(watch.BusyShown()) << "captured";

    m_indicator.captured = false;
    watch.Tick();
    EXPECT_TRUE(watch.BusyShown());
    EXPECT_EQ(m_indicator.shows, 1);
}

TEST_F(BusyWatchTest, TheTickCountWrappingAroundChangesNothing)
{
    m_nowMs = 0xFFFFFF00u;
    BusyWatch watch = MakeWatch(250);
    watch.SetEnabled(true);
    m_nowMs += 0x80;
    watch.Tick();
    EXPECT_FALSE(watch.BusyShown()) << "128 ms, before the wrap";
    m_nowMs += 0x80 + 100;
    watch.Tick();
    EXPECT_TRUE(watch.BusyShown()) << "356 ms, past zero";
}
