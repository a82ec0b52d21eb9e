#include <memory>
#include <string>

#include <QAction>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/LumoConnectPublisher.h"
#include "host/HostRegistry.h"
#include "host/UrlImpl.h"
#include "picker/UpdateQueue.h"
#include "support/HostFolder.h"

namespace {

// Keeps every record a view would apply, in arrival order.
class RecordingView : public QObject {
public:
    std::vector<std::string> urls;

    bool event(QEvent* event) override
    {
        if (event->type() != QueuedEvent::c_Type)
            return QObject::event(event);
        urls.push_back(static_cast<QueuedEvent*>(event)->TakeInfo()->m_item->GetText());
        return true;
    }
};

struct Layout {
    int width, height, top, left, maximized;
};

class LumoConnectPublisherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WidgetApplication();
        ClearSettings();
    }
    void TearDown() override
    {
        m_window.reset();
        ClearSettings();
    }

    TLumoConnectPublisher& Window()
    {
        m_window = std::make_unique<TLumoConnectPublisher>(m_folder.Path());
        return *m_window;
    }

    static void Save(const Layout& layout)
    {
        HostRegistry settings("Publisher");
        settings.WriteInteger("", "MainWindowWidth", layout.width);
        settings.WriteInteger("", "MainWindowHeight", layout.height);
        settings.WriteInteger("", "MainWindowTop", layout.top);
        settings.WriteInteger("", "MainWindowLeft", layout.left);
        settings.WriteInteger("", "Maximized", layout.maximized);
    }
    static Layout Saved()
    {
        const HostRegistry settings("Publisher");
        return {settings.ReadInteger("", "MainWindowWidth", 0), settings.ReadInteger("", "MainWindowHeight", 0),
            settings.ReadInteger("", "MainWindowTop", 0), settings.ReadInteger("", "MainWindowLeft", 0),
            settings.ReadInteger("", "Maximized", -1)};
    }

    static QAction* MenuItem(QMainWindow& window, const QString& menu, int index)
    {
        for (QAction* top : window.menuBar()->actions()) {
            if (top->text() == menu)
                return top->menu()->actions().value(index);
        }
        return nullptr;
    }

    HostFolder m_folder;
    std::unique_ptr<TLumoConnectPublisher> m_window;
};

} // namespace

TEST_F(LumoConnectPublisherTest, RestoresTheSavedLayoutWithinTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto centred = [&](int width, int height) {
        return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2, width, height);
    };
    {
        SCOPED_TRACE("nothing saved: the design size, centred");
        EXPECT_EQ(Window().geometry(), centred(660, 436));
        EXPECT_FALSE(m_window->isMaximized());
    }
    {
        SCOPED_TRACE("larger than the screen, top unset: clamped and centred");
        Save({5000, 5000, -1, 100, 0});
        EXPECT_EQ(Window().geometry(), centred(area.width() - 40, area.height() - 60));
    }
    {
        SCOPED_TRACE("a saved position is taken as it stands");
        Save({700, 450, 20, 10, 1});
        EXPECT_EQ(Window().normalGeometry(), QRect(10, 20, 700, 450));
        EXPECT_TRUE(m_window->isMaximized());
    }
}

TEST_F(LumoConnectPublisherTest, ClosingSavesTheRestoredRectangleAndTheMaximisedState)
{
    Save({700, 450, 30, 40, 1});
    TLumoConnectPublisher& window = Window();
    window.show();
    // Maximising takes effect once the window system has answered.
    ASSERT_TRUE(WaitUntil([&] { return window.isVisible() && window.geometry() != window.normalGeometry(); }));
    window.close();
    EXPECT_EQ(Saved().width, 700);
    EXPECT_EQ(Saved().height, 450);
    EXPECT_EQ(Saved().top, 30);
    EXPECT_EQ(Saved().left, 40);
    EXPECT_EQ(Saved().maximized, 1);

    // Restored and moved: the new rectangle, no longer maximised.
    TLumoConnectPublisher& again = Window();
    again.show();
    again.showNormal();
    again.setGeometry(50, 60, 680, 430);
    again.close();
    EXPECT_EQ(Saved().width, 680);
    EXPECT_EQ(Saved().height, 430);
    EXPECT_EQ(Saved().top, 60);
    EXPECT_EQ(Saved().left, 50);
    EXPECT_EQ(Saved().maximized, 0);
}

TEST_F(LumoConnectPublisherTest, MenuTextRenamesOnlyTheServerPropertiesMenuItem)
{
    HostRegistry("Publisher").WriteString("", "PublisherMenuText", "Lumo &Server Settings");
    TLumoConnectPublisher& window = Window();
    QAction* item = MenuItem(window, "&Server", 3);
    auto* action = window.findChild<QAction*>("ServerPropertiesAction");
    ASSERT_TRUE(item && action);
    EXPECT_EQ(item->text(), "Lumo &Server Settings");
    EXPECT_EQ(action->text(), "Lumo Server P&roperties");

    // Still bound: the item follows the action's state and runs it.
    int runs = 0;
    QObject::connect(action, &QAction::triggered, [&] { ++runs; });
    action->setEnabled(true);
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(runs, 1);
    action->setEnabled(false);
    EXPECT_FALSE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(runs, 1);
}

TEST_F(LumoConnectPublisherTest, BoundButtonsKeepTheirCaptionsAndMenuItemsTakeThePages)
{
    TLumoConnectPublisher& window = Window();
    QAction* publishItem = MenuItem(window, "&File", 0);
    auto* strip = window.findChild<QToolBar*>("BandBar");
    ASSERT_TRUE(publishItem && strip);
    QToolButton* publishButton = nullptr;
    for (QToolButton* button : strip->findChildren<QToolButton*>()) {
        if (button->text() == "Publish")
            publishButton = button;
    }
    ASSERT_TRUE(publishButton);
    EXPECT_FALSE(publishItem->isEnabled());
    EXPECT_FALSE(publishButton->isEnabled());

    int runs = 0;
    {
        QAction pagePublish("&Publish Folder");
        pagePublish.setShortcut(QKeySequence("Ctrl+H"));
        QObject::connect(&pagePublish, &QAction::triggered, [&] { ++runs; });
        window.BindPageAction(TLumoConnectPublisher::Publish, &pagePublish);
        EXPECT_EQ(publishItem->text(), "&Publish Folder");
        EXPECT_EQ(publishButton->text(), "Publish");
        EXPECT_EQ(publishButton->toolTip(), "Publish");
        EXPECT_TRUE(publishButton->isEnabled());
        publishButton->click();
        publishItem->trigger();
        EXPECT_EQ(runs, 2);
        pagePublish.setEnabled(false);
        EXPECT_FALSE(publishItem->isEnabled());
        EXPECT_FALSE(publishButton->isEnabled());
        pagePublish.setEnabled(true);
    }
    // The page went first: nothing is left enabled that could run it.
    EXPECT_FALSE(publishItem->isEnabled());
    EXPECT_FALSE(publishButton->isEnabled());
}

// The idle pass's sleep keeps the loop from spinning; after posting records it would only hold
// up their views.
TEST_F(LumoConnectPublisherTest, AnIdlePassSleepsOnlyWhenItFoundNothingQueued)
{
    TLumoConnectPublisher& window = Window();
    std::vector<uint32_t> rests;
    window.SetRest([&](uint32_t ms) { rests.push_back(ms); });
    RecordingView view;
    window.Queue().AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl("mem://a")));
    EXPECT_TRUE(window.RunIdle());
    EXPECT_TRUE(rests.empty()) << "slept after posting a record";
    EXPECT_TRUE(window.RunIdle());
    EXPECT_EQ(rests, std::vector<uint32_t>{20});
    EXPECT_TRUE(window.RunIdle(false));
    EXPECT_EQ(rests.size(), 1u) << "slept for a caller that rests itself";
}

// A burst (a large publish arriving) goes out in a few passes, not one record per pass, each
// record once and in the order queued.
TEST_F(LumoConnectPublisherTest, IdlePassesDeliverRecordsInBatchesInOrder)
{
    TLumoConnectPublisher& window = Window();
    RecordingView view;
    UpdateQueue& queue = window.Queue();
    for (const char* url : {"mem://a", "mem://b", "mem://c"})
        queue.AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl(url)));
    EXPECT_TRUE(window.RunIdle()) << "three records in one pass";
    EXPECT_EQ(queue.Count(), 0u);
    QCoreApplication::sendPostedEvents(&view);
    EXPECT_EQ(view.urls, (std::vector<std::string>{"mem://a", "mem://b", "mem://c"}));

    view.urls.clear();
    const size_t batch = TLumoConnectPublisher::c_RecordsPerIdlePass;
    std::vector<std::string> expected;
    for (size_t index = 0; index < 2 * batch + 5; ++index) {
        expected.push_back("mem://" + std::to_string(index));
        queue.AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl(expected.back())));
        // A repeat of the last record is still dropped.
        queue.AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl(expected.back())));
    }
    EXPECT_FALSE(window.RunIdle());
    EXPECT_EQ(queue.Count(), batch + 5);
    EXPECT_FALSE(window.RunIdle());
    EXPECT_TRUE(window.RunIdle());
    QCoreApplication::sendPostedEvents(&view);
    EXPECT_EQ(view.urls, expected);
    view.urls.clear();

    // The event loop's own idle processing drains the queue with no input at all.
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    queue.AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl("mem://d")));
    queue.AddItem(&view, std::make_unique<UpdateInfo>(ChildAdded, MakeUrl("mem://e")));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (view.urls.size() == 2)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    EXPECT_EQ(view.urls, (std::vector<std::string>{"mem://d", "mem://e"}));
    EXPECT_EQ(queue.Count(), 0u);
}
