// The splash screen: its self-scaling bar, its minimum time and what it stores for next time.
#include <cstdint>

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/SplashScreen.h"
#include "host/HostRegistry.h"
#include "support/WidgetApplication.h"

namespace {

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WidgetApplication();
        ClearSettings();
    }

    void TearDown() override { delete TSplashScreen::Current(); }

    static QProgressBar* Bar() { return TSplashScreen::Current()->findChild<QProgressBar*>("progress"); }
    static QString Line(const char* name) { return TSplashScreen::Current()->findChild<QLabel*>(name)->text(); }
    static int32_t StoredSteps() { return HostRegistry().ReadInteger("Publisher", "SplashSteps", -1); }

    // Lets the two-second timer fire now, and a destruction it asks for happen.
    static void Expire()
    {
        QPointer<QTimer> timer = TSplashScreen::Current()->findChild<QTimer*>("expiry");
        ASSERT_TRUE(timer && timer->isActive());
        timer->start(0);
        // The splash, and the timer with it, may be gone when it has fired.
        ASSERT_TRUE(WaitUntil([&timer] { return !timer || !timer->isActive(); }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

} // namespace

TEST_F(SplashTest, TheBarScalesToTheStepsTheLastStartNeeded)
{
    SplashCreate(nullptr);
    EXPECT_EQ(Bar()->maximum(), 10) << "no stored value";
    SplashStep();
    SplashStep();
    EXPECT_EQ(Bar()->value(), 2);
    SplashFinish();
    EXPECT_EQ(Bar()->value(), 10);
    Expire();
    ASSERT_EQ(TSplashScreen::Current(), nullptr);
    EXPECT_EQ(StoredSteps(), 2);

    SplashCreate(nullptr);
    EXPECT_EQ(Bar()->maximum(), 2);
    SplashStep();
    SplashStep();
    EXPECT_EQ(Bar()->value(), 2);
    // Counted though the bar is full, so the next start fits this one.
    SplashStep();
    EXPECT_EQ(Bar()->value(), 2);
    SplashFinish();
    Expire();
    EXPECT_EQ(StoredSteps(), 3);
}

TEST_F(SplashTest, AStoredCountBelowOneStillGivesAFillingBar)
{
    for (const int32_t stored : {0, -7}) {
        HostRegistry().WriteInteger("Publisher", "SplashSteps", stored);
        SplashCreate(nullptr);
        EXPECT_EQ(Bar()->minimum(), 0) << stored;
        EXPECT_GE(Bar()->maximum(), 1) << stored;
        SplashStep();
        EXPECT_EQ(Bar()->value(), Bar()->maximum()) << stored;
        delete TSplashScreen::Current();
    }
}

TEST_F(SplashTest, FinishedBeforeTheMinimumTimeItWaitsForTheTimerAndIgnoresLateCalls)
{
    QWidget owner;
    owner.setEnabled(false);
    SplashCreate(&owner);
    SplashSetStatus("Loading...");
    EXPECT_EQ(Line("status"), "Loading...");
    SplashStep();
    SplashFinish();
    QPointer<TSplashScreen> splash = TSplashScreen::Current();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());

    SplashSetStatus("late");
    SplashStep();
    EXPECT_EQ(Line("status"), "Loading...");
    EXPECT_FALSE(owner.isEnabled());

    Expire();
    EXPECT_FALSE(splash);
    EXPECT_EQ(TSplashScreen::Current(), nullptr);
    EXPECT_EQ(StoredSteps(), 1) << "the step after finish is not counted";
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(SplashTest, FinishedAfterTheMinimumTimeItClosesAtOnce)
{
    SplashCreate(nullptr);
    SplashStep();
    Expire();
    ASSERT_NE(TSplashScreen::Current(), nullptr) << "loading has not finished";
    SplashFinish();
    EXPECT_EQ(TSplashScreen::Current(), nullptr);
    EXPECT_EQ(StoredSteps(), 1);
    // Nothing to work on any more.
    SplashStep();
    SplashSetStatus("gone");
    SplashFinish();
    EXPECT_EQ(StoredSteps(), 1);
}

TEST_F(SplashTest, ShowsTheProductVersionCentredAndFixedInSize)
{
    SplashCreate(nullptr);
    TSplashScreen* splash = TSplashScreen::Current();
    EXPECT_EQ(Line("version"), QString("Welcome to Version %1!").arg(LUMO_PROJECT_VERSION));
    EXPECT_EQ(splash->size(), QSize(393, 262));
    EXPECT_EQ(Bar()->geometry(), QRect(14, 205, 365, 19));
    const QLabel* version = splash->findChild<QLabel*>("version");
    EXPECT_EQ(version->y(), 172);
    EXPECT_NEAR(version->geometry().center().x(), splash->width() / 2, 1);
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
}

// Under a dark palette the texts take its colours: the brightest text colour on its darkest
// shade, the status line dimmed between the two.
TEST_F(SplashTest, TheTextsTakeTheirColoursFromThePalette)
{
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::BrightText, QColor(255, 230, 150));
    dark.setColor(QPalette::Shadow, QColor(20, 10, 40));
    QApplication::setPalette(dark);
    SplashCreate(nullptr);
    QApplication::setPalette(before);

    const QPalette version = TSplashScreen::Current()->findChild<QLabel*>("version")->palette();
    EXPECT_EQ(version.color(QPalette::WindowText), QColor(255, 230, 150));
    EXPECT_EQ(version.color(QPalette::Window), QColor(20, 10, 40));
    const QColor status = TSplashScreen::Current()->findChild<QLabel*>("status")->palette().color(QPalette::WindowText);
    EXPECT_GT(status.red(), 150);
    EXPECT_LT(status.red(), 255);
    EXPECT_GT(status.blue(), 40) << "between the text colour and the box";
    EXPECT_LT(status.blue(), 150);
}
