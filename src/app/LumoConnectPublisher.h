// The main window: the host program and its settings, the band bar and menus that drive the
// active media page, the media server's commands, the window layout kept between runs, and
// the idle pass that carries background results to the views.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>

#include "app/ServerLocator.h"
#include "platform/Tick.h"

class ActionLink;
class HelpCommands;
class HostInternals;
class HostRegistry;
class IdleProcessor;
class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class TMediaPage;
class UpdateQueue;

class TLumoConnectPublisher : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int c_DesignWidth = 660;
    static constexpr int c_DesignHeight = 436;
    static constexpr int c_MinWidth = 660;
    static constexpr int c_MinHeight = 420;
    // Records an idle pass hands to their views: a burst (a large publish arriving) goes out in
    // a few passes, while each pass stays short enough for the window to paint between them.
    static constexpr size_t c_RecordsPerIdlePass = 256;

    // The page actions the menu items and buttons are bound to.
    enum PageAction { Publish, Unpublish, Open, Properties, Copy, Paste, Clear, SelectAll, Up, PageActionCount };

    // Builds the host on the modules of programFolder (with a trailing "/"), which raises
    // when a required module is missing; then opens the settings and restores the layout.
    explicit TLumoConnectPublisher(const std::string& programFolder = DefaultProgramFolder());
    ~TLumoConnectPublisher() override;

    static std::string DefaultProgramFolder();

    HostInternals& Host() { return *m_host; }
    // Other threads leave their results here for the views.
    UpdateQueue& Queue() { return *m_queue; }
    // The Help menu's manual and update check.
    HelpCommands& Help() { return *m_help; }

    // One idle pass: the pages' idle calls, then up to c_RecordsPerIdlePass queued records
    // posted to their views, in order, then the status bar brought up to date. A pass that
    // found nothing queued sleeps 20 ms, 5 ms while a view waits for a listing, not at all
    // while a view is placing one or when the caller rests between passes itself (mayRest
    // false). True when the queue is empty. Called by the event loop and by code that waits
    // for background work.
    bool RunIdle(bool mayRest = true);
    // How a pass sleeps (milliseconds); tests watch it.
    void SetRest(std::function<void(uint32_t)> rest) { m_rest = std::move(rest); }

    // Binds every menu item and button of action to source (null: unbound and disabled).
    // Menu items take the source's caption and shortcut; buttons keep their own.
    void BindPageAction(PageAction action, QAction* source);

    // Answers another instance's request: un-minimised, raised and activated.
    void RestoreFromOtherInstance();

    // Null until the first show has built them.
    TMediaPage* MusicPage() const { return m_musicPage; }
    TMediaPage* PhotosPage() const { return m_photosPage; }
    // The page of the active tab.
    TMediaPage* CurrentPage() const { return m_currentPage; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildDesign();
    void BuildMenus();
    void BuildBandBar();
    void BuildToolBar();
    void RestoreLayout();
    void SaveLayout();
    void UpdateActions();
    void UpdateStatus();
    void StartServer(const QStringList& arguments);

    // First show, under the splash: build one page per media class, bind them, restore the
    // splitters; each page advances the splash one step.
    void BuildPages();
    // Builds a page in the tab, then lists its roots.
    TMediaPage* PlacePage(int tab, const std::function<TMediaPage*(QWidget*)>& build);
    // The menu items and buttons follow the page of the active tab.
    void BindCurrentPage();
    void UpdateUndo();
    // First step of each idle pass.
    void PagesIdle();
    // Placing: a page's view has work in hand, so an idle pass must not sleep.
    // AwaitingListing: a page's view waits for a listing; the pass only naps.
    enum class PagesState { Idle, AwaitingListing, Placing };
    PagesState PagesWork();
    // Before the layout is saved: the pages empty their published lists.
    void PagesCloseWork();
    // After the layout, when the window placement was read: the splitter positions.
    void SavePageSplitters();
    // First step of destruction.
    void DestroyPages();

    // Destroyed explicitly, in the order pages, settings, queue, host.
    std::unique_ptr<HostInternals> m_host;
    std::unique_ptr<HostRegistry> m_settings;
    TMediaPage* m_currentPage = nullptr;
    TMediaPage* m_musicPage = nullptr;
    TMediaPage* m_photosPage = nullptr;
    std::unique_ptr<UpdateQueue> m_queue;
    std::unique_ptr<ServerLocator> m_server;
    std::unique_ptr<HelpCommands> m_help;
    std::unique_ptr<IdleProcessor> m_idle;
    std::function<void(uint32_t)> m_rest = Platform::Sleep;
    bool m_shown = false;

    QTabWidget* m_tabs = nullptr;
    // The status bar: the active pane's selection, what the items view is busy with, and
    // what the newest publish or unpublish came to.
    QLabel* m_statusPanel = nullptr;
    QLabel* m_activityPanel = nullptr;
    QLabel* m_resultPanel = nullptr;
    QToolBar* m_bandBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_serverMenu = nullptr;

    // The menu items of the page actions, by PageAction; Up has no menu item.
    std::array<QAction*, PageActionCount> m_pageItems{};
    std::array<std::vector<ActionLink*>, PageActionCount> m_pageLinks;
    QAction* m_undoAction = nullptr;
    QAction* m_serverPropertiesAction = nullptr;
    QAction* m_startServerAction = nullptr;
    QAction* m_pauseServerAction = nullptr;
    // Shown in the menu for m_serverPropertiesAction; "PublisherMenuText" renames only this.
    QAction* m_serverPropertiesItem = nullptr;
};
