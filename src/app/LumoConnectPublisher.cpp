#include "app/LumoConnectPublisher.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/AboutBoxForm.h"
#include "app/ActionLink.h"
#include "app/Artwork.h"
#include "app/BusyCursor.h"
#include "app/ErrorDisplay.h"
#include "app/HelpCommands.h"
#include "app/SplashScreen.h"
#include "host/HostInternals.h"
#include "host/HostRegistry.h"
#include "host/Log.h"
#include "host/MediaClassGroup.h"
#include "picker/MediaPageForm.h"
#include "picker/MusicPageForm.h"
#include "picker/PhotosPageForm.h"
#include "picker/PublishedListForm.h"
#include "picker/UpdateQueue.h"
#include "platform/System.h"
#include "platform/Tick.h"

namespace {

constexpr char c_WindowTitle[] = "Lumo Publisher";
constexpr char c_VendorSite[] = "https://www.lumo-desktop.example";
constexpr char c_UpdatePath[] = "/desktop/upgrade.asp?ver=11";
constexpr char c_ServerPropertiesCaption[] = QT_TRANSLATE_NOOP("TLumoConnectPublisher", "Lumo Server P&roperties");
constexpr char c_UndoCaption[] = QT_TRANSLATE_NOOP("TLumoConnectPublisher", "&Undo");
constexpr int c_MusicTab = 0;
constexpr int c_PhotosTab = 1;

// Room the window leaves on the screen for the desktop's own bars.
constexpr int c_ScreenMarginWidth = 40;
constexpr int c_ScreenMarginHeight = 60;
// Keeps the idle pass from spinning while nothing is queued.
constexpr uint32_t c_IdleSleepMs = 20;
// While a page waits for a listing: short enough that its arrival is placed without a long
// pause, long enough that the listing's worker (lowest priority) still gets the processor.
constexpr uint32_t c_ListingNapMs = 5;

QAction* AddItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* item = menu->addAction(caption);
    item->setShortcut(shortcut);
    return item;
}

// What the window may take of the screen: its available area less the room for the desktop's
// own bars. At twice the scale a 1280x800 screen leaves 640x400 points.
QRect ScreenRoom(const QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QRect area = screen
        ? screen->availableGeometry()
        : QRect(0, 0, TLumoConnectPublisher::c_DesignWidth, TLumoConnectPublisher::c_DesignHeight);
    // Taken evenly from both sides, so that what is centred in the room is centred on the screen.
    const int across = std::min(c_ScreenMarginWidth, area.width() / 8) / 2;
    const int down = std::min(c_ScreenMarginHeight, area.height() / 8) / 2;
    return area.adjusted(across, down, -across, -down);
}

QToolButton* AddStripButton(QToolBar* bar, QAction* action, QSize size, Qt::ToolButtonStyle style)
{
    auto* button = new QToolButton(bar);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setFixedSize(size);
    button->setToolButtonStyle(style);
    bar->addWidget(button);
    return button;
}

} // namespace

TLumoConnectPublisher::TLumoConnectPublisher(const std::string& programFolder)
{
    BuildDesign();
    m_host = std::make_unique<HostInternals>(programFolder);
    m_host->SetWindow(static_cast<QWidget*>(this));
    m_settings = std::make_unique<HostRegistry>("Publisher");
    m_queue = std::make_unique<UpdateQueue>();
    m_server = std::make_unique<ServerLocator>(m_host->ProgramFolder());
    m_help = std::make_unique<HelpCommands>(m_host->ProgramFolder());
    Log::Instance().SetEnabled(m_settings->ReadBool("", "LoggingEnabled", false));

    RestoreLayout();
    const std::string menuText = m_settings->ReadString("", "PublisherMenuText", "");
    if (!menuText.empty())
        m_serverPropertiesItem->setText(QString::fromStdString(menuText));

    // Commands' enabled states are brought up to date on every idle pass, before the queue.
    m_idle = std::make_unique<IdleProcessor>([this] {
        bool done = true;
        RunGuarded([&] {
            UpdateActions();
            done = RunIdle();
        });
        return done;
    });
}

TLumoConnectPublisher::~TLumoConnectPublisher()
{
    m_idle.reset();
    DestroyPages();
    m_settings.reset();
    m_queue.reset();
    m_host->SetWindow(nullptr);
    m_host.reset();
}

std::string TLumoConnectPublisher::DefaultProgramFolder()
{
    return Platform::ProgramFolder();
}

void TLumoConnectPublisher::BuildDesign()
{
    InitArtwork();
    setObjectName("TLumoConnectPublisher");
    setWindowTitle(c_WindowTitle);
    // The design's 8 point client font, in the desktop's own sans-serif family.
    QFont clientFont = font();
    clientFont.setPointSize(8);
    setFont(clientFont);
    const QSize room = ScreenRoom(*this).size();
    setMinimumSize(QSize(c_MinWidth, c_MinHeight).boundedTo(room));
    resize(QSize(c_DesignWidth, c_DesignHeight).boundedTo(room));

    BuildMenus();
    // The hidden tool bar first: the strip's buttons take their hints from it.
    BuildToolBar();
    BuildBandBar();
    addToolBar(Qt::TopToolBarArea, m_bandBar);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->hide();

    m_tabs = new QTabWidget(this);
    m_tabs->addTab(new QWidget(m_tabs), tr("&Music"));
    m_tabs->addTab(new QWidget(m_tabs), tr("&Photos"));
    m_tabs->setCurrentIndex(0);
    setCentralWidget(m_tabs);

    // Long folder names are cut rather than widening the window.
    auto panel = [this](const char* name, int stretch) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        statusBar()->addWidget(label, stretch);
        return label;
    };
    m_statusPanel = panel("SelectionPanel", 2);
    m_activityPanel = panel("ActivityPanel", 3);
    m_resultPanel = panel("ResultPanel", 3);

    // The tool bars are fixed parts of the design, not something to switch off.
    setContextMenuPolicy(Qt::NoContextMenu);
}

void TLumoConnectPublisher::BuildMenus()
{
    auto pageItem = [this](QMenu* menu, PageAction action, const QString& caption, const QKeySequence& shortcut = {}) {
        QAction* item = AddItem(menu, caption, shortcut);
        m_pageItems[action] = item;
        m_pageLinks[action].push_back(new ActionLink(item, ActionLink::Caption::Follow));
    };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    pageItem(file, Publish, tr("&Publish"), QKeySequence("Ctrl+H"));
    pageItem(file, Unpublish, tr("&Unpublish"), QKeySequence("Ctrl+U"));
    file->addSeparator();
    pageItem(file, Open, tr("&Open"), QKeySequence("Ctrl+O"));
    pageItem(file, Properties, tr("P&roperties"));
    file->addSeparator();
    connect(AddItem(file, tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_undoAction = AddItem(edit, tr(c_UndoCaption), QKeySequence("Ctrl+Z"));
    m_undoAction->setEnabled(false);
    connect(m_undoAction, &QAction::triggered, this, [this] {
        RunGuarded([this] {
            if (m_currentPage)
                m_currentPage->Undo();
        });
    });
    // Opening the menu shows the state without waiting for the next idle pass.
    connect(edit, &QMenu::aboutToShow, this, [this] { UpdateUndo(); });
    edit->addSeparator();
    pageItem(edit, Copy, tr("&Copy"), QKeySequence("Ctrl+C"));
    pageItem(edit, Paste, tr("&Paste"), QKeySequence("Ctrl+V"));
    edit->addSeparator();
    pageItem(edit, Clear, tr("Clea&r"), QKeySequence(Qt::Key_Delete));
    pageItem(edit, SelectAll, tr("Select A&ll"), QKeySequence("Ctrl+A"));

    m_serverMenu = menuBar()->addMenu(tr("&Server"));
    m_startServerAction = AddItem(m_serverMenu, tr("&Start / Resume"));
    m_startServerAction->setObjectName("StartServerAction");
    connect(m_startServerAction, &QAction::triggered, this, [this] { StartServer({"/resume"}); });
    m_pauseServerAction = AddItem(m_serverMenu, tr("&Pause"));
    m_pauseServerAction->setObjectName("PauseServerAction");
    connect(m_pauseServerAction, &QAction::triggered, this, [this] { StartServer({"/pause"}); });
    m_serverMenu->addSeparator();
    // The action is not in the menu itself, so that a renamed menu item leaves its caption alone.
    m_serverPropertiesAction = new QAction(tr(c_ServerPropertiesCaption), this);
    m_serverPropertiesAction->setObjectName("ServerPropertiesAction");
    m_serverPropertiesAction->setEnabled(false);
    connect(m_serverPropertiesAction, &QAction::triggered, this, [this] { StartServer({}); });
    m_serverPropertiesItem = AddItem(m_serverMenu, tr(c_ServerPropertiesCaption));
    m_serverPropertiesItem->setObjectName("ServerPropertiesItem");
    (new ActionLink(m_serverPropertiesItem, ActionLink::Caption::Keep))->Bind(m_serverPropertiesAction);
    // Opening the menu is when the state shows; do not wait for the next idle pass.
    connect(m_serverMenu, &QMenu::aboutToShow, this, [this] { RunGuarded([this] { UpdateActions(); }); });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    // The manual is installed with the program, so help needs no network.
    connect(AddItem(help, tr("Lumo Desktop &Help"), QKeySequence(Qt::Key_F1)), &QAction::triggered, this,
        [this] { RunGuarded([this] { m_help->ShowManual(); }); });
    help->addSeparator();
    connect(AddItem(help, tr("Check for Lumo Desktop &Updates")), &QAction::triggered, this,
        [this] { RunGuarded([this] { m_help->CheckForUpdates(QUrl(QString(c_VendorSite) + c_UpdatePath)); }); });
    help->addSeparator();
    connect(AddItem(help, tr("&About Lumo Publisher")), &QAction::triggered, this,
        [this] { RunGuarded([this] { ShowAboutBox(this); }); });
}

void TLumoConnectPublisher::BuildToolBar()
{
    // Hidden for good; it supplies the hints of the strip's buttons and stays bound like them.
    m_toolBar = new QToolBar(tr("Tool bar"), this);
    m_toolBar->setObjectName("ToolBar");
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(16, 16));
    auto button = [this](const char* image, const QString& caption, PageAction action) {
        QAction* item = m_toolBar->addAction(QIcon(image), caption);
        item->setToolTip(caption);
        m_toolBar->widgetForAction(item)->setFixedSize(54, 36);
        if (action != PageActionCount)
            m_pageLinks[action].push_back(new ActionLink(item, ActionLink::Caption::Keep));
        return item;
    };
    button(":/art/publish.svg", tr("Publish"), Publish);
    button(":/art/unpublish.svg", tr("Unpublish"), Unpublish);
    m_toolBar->addSeparator();
    button(":/art/up.svg", tr("Up"), Up);
    QAction* reveal = button(":/art/reveal.svg", tr("Reveal"), PageActionCount);
    reveal->setEnabled(false);
    reveal->setVisible(false);
    m_toolBar->addSeparator();
    button(":/art/properties.svg", tr("Properties"), Properties);
}

void TLumoConnectPublisher::BuildBandBar()
{
    m_bandBar = new QToolBar(tr("Band bar"), this);
    m_bandBar->setObjectName("BandBar");
    m_bandBar->setMovable(false);
    m_bandBar->setFloatable(false);
    m_bandBar->setMinimumHeight(32);
    m_bandBar->setIconSize(QSize(16, 16));
    auto stripButton
        = [this](const char* image, const QString& caption, PageAction action, QSize size, Qt::ToolButtonStyle style) {
              auto* item = new QAction(QIcon(image), caption, m_bandBar);
              // The twin on the hidden tool bar holds the hint.
              item->setToolTip(m_pageLinks[action].back()->Item()->toolTip());
              m_pageLinks[action].push_back(new ActionLink(item, ActionLink::Caption::Keep));
              AddStripButton(m_bandBar, item, size, style);
          };
    stripButton(":/art/publish.svg", tr("Publish"), Publish, QSize(70, 30), Qt::ToolButtonTextBesideIcon);
    stripButton(":/art/unpublish.svg", tr("Unpublish"), Unpublish, QSize(80, 30), Qt::ToolButtonTextBesideIcon);
    m_bandBar->addSeparator();
    stripButton(":/art/up.svg", tr("Up"), Up, QSize(36, 30), Qt::ToolButtonIconOnly);
    m_bandBar->addSeparator();
    stripButton(":/art/properties.svg", tr("Properties"), Properties, QSize(36, 30), Qt::ToolButtonIconOnly);
}

void TLumoConnectPublisher::RestoreLayout()
{
    int width = m_settings->ReadInteger("", "MainWindowWidth", this->width());
    int height = m_settings->ReadInteger("", "MainWindowHeight", this->height());
    const bool maximized = m_settings->ReadInteger("", "Maximized", 0) != 0;
    const QRect room = ScreenRoom(*this);
    width = std::max(std::min(width, room.width()), minimumWidth());
    height = std::max(std::min(height, room.height()), minimumHeight());

    const int top = m_settings->ReadInteger("", "MainWindowTop", -1);
    const int left = m_settings->ReadInteger("", "MainWindowLeft", -1);
    if (top == -1 || left == -1)
        setGeometry(room.x() + (room.width() - width) / 2, room.y() + (room.height() - height) / 2, width, height);
    else
        setGeometry(left, top, width, height);
    if (maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TLumoConnectPublisher::SaveLayout()
{
    // The restored rectangle, so that a maximised window comes back to its old size too.
    const QRect normal = normalGeometry();
    if (normal.isValid()) {
        m_settings->WriteInteger("", "MainWindowWidth", normal.width());
        m_settings->WriteInteger("", "MainWindowHeight", normal.height());
        m_settings->WriteInteger("", "MainWindowTop", normal.top());
        m_settings->WriteInteger("", "MainWindowLeft", normal.left());
        SavePageSplitters();
    }
    m_settings->WriteInteger("", "Maximized", isMaximized() ? 1 : 0);
}

bool TLumoConnectPublisher::RunIdle(bool mayRest)
{
    PagesIdle();
    const size_t waiting = m_queue->Count();
    const bool idle = m_queue->DeliverSome(c_RecordsPerIdlePass);
    UpdateStatus();
    // A page placing a listing is not idle: the sleep would only hold up its slices.
    // Records just posted are applied before the next pass: resting now would only hold them up.
    if (mayRest && idle && waiting == 0) {
        const PagesState state = PagesWork();
        if (state != PagesState::Placing)
            m_rest(state == PagesState::AwaitingListing ? c_ListingNapMs : c_IdleSleepMs);
    }
    return m_queue->Count() == 0;
}

void TLumoConnectPublisher::UpdateActions()
{
    m_serverPropertiesAction->setEnabled(m_server->PropertiesEnabled());
    if (m_currentPage)
        m_currentPage->UpdateActions();
    UpdateUndo();
}

void TLumoConnectPublisher::UpdateStatus()
{
    QString selection;
    QStringList activity;
    QString result;
    if (TMediaPage* page = m_currentPage) {
        const int selected = page->SelectedCount();
        if (selected > 0)
            selection = tr("%n item(s) selected", nullptr, selected);
        const ItemsStatusEvent items = page->ItemsStatus();
        if (!items.m_listing.isEmpty())
            activity << tr("Listing %1…").arg(items.m_listing);
        if (items.m_thumbnails > 0)
            activity << tr("%n thumbnail(s) to make", nullptr, items.m_thumbnails);
        result = page->LastChangeResult();
    }
    // Set only on a change: a label relays out its status bar on every new text.
    auto show = [](QLabel* label, const QString& text) {
        if (label->text() != text)
            label->setText(text);
    };
    show(m_statusPanel, selection);
    show(m_activityPanel, activity.join(" \u2014 "));
    show(m_resultPanel, result);
}

void TLumoConnectPublisher::UpdateUndo()
{
    bool enabled = false;
    QString caption = tr(c_UndoCaption);
    try {
        if (m_currentPage) {
            enabled = m_currentPage->CanUndo();
            caption = m_currentPage->UndoCaption();
        }
    } catch (...) {
        enabled = false;
        caption = tr(c_UndoCaption);
    }
    m_undoAction->setEnabled(enabled);
    m_undoAction->setText(caption);
}

void TLumoConnectPublisher::BindPageAction(PageAction action, QAction* source)
{
    for (ActionLink* link : m_pageLinks[action])
        link->Bind(source);
}

void TLumoConnectPublisher::RestoreFromOtherInstance()
{
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TLumoConnectPublisher::StartServer(const QStringList& arguments)
{
    RunGuarded([&] {
        // Searched afresh each time; without a server the command does nothing.
        const std::string path = m_server->Locate();
        if (!path.empty())
            QProcess::startDetached(QString::fromStdString(path), arguments);
    });
}

void TLumoConnectPublisher::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    RunGuarded([this] {
        StartBusyCursor(0);
        SplashCreate(this);
        SplashSetStatus(tr("Loading..."));
        SplashStep();
        // The splash goes whatever stops the pages, or it would stay over the window for good.
        try {
            BuildPages();
        } catch (...) {
            SplashAbandon();
            throw;
        }
        SplashFinish();
    });
}

void TLumoConnectPublisher::closeEvent(QCloseEvent* event)
{
    // A layout that cannot be written is reported, but never keeps the window open.
    RunGuarded([this] {
        PagesCloseWork();
        SaveLayout();
    });
    event->accept();
}

void TLumoConnectPublisher::BuildPages()
{
    // The lookups raise 1168 when no module supplies the class.
    m_musicPage = PlacePage(c_MusicTab, [this](QWidget* holder) {
        return new MusicPageForm(
            holder, m_host->MediaClasses().ById("LumoMusic"), *m_queue, [this] { return RunIdle(false); });
    });
    SplashStep();
    m_photosPage = PlacePage(c_PhotosTab, [this](QWidget* holder) {
        return new PhotosPageForm(
            holder, m_host->MediaClasses().ById("LumoPhotos"), *m_queue, [this] { return RunIdle(false); });
    });
    SplashStep();
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { RunGuarded([this] { BindCurrentPage(); }); });
    BindCurrentPage();
    // The desktop's bars and fonts may be taller than the design's: never cut the pages off.
    // A small screen (or a large scale) gets what it has room for: the pages give up the
    // height they would have kept, rather than the window reaching past the screen.
    const QRect room = ScreenRoom(*this);
    const int shortfall = minimumSizeHint().height() - room.height();
    if (shortfall > 0) {
        for (TMediaPage* page : {m_musicPage, m_photosPage})
            page->GiveUpHeight(shortfall);
    }
    const QSize needed = minimumSizeHint();
    setMinimumSize(
        QSize(std::max(c_MinWidth, needed.width()), std::max(c_MinHeight, needed.height())).boundedTo(room.size()));

    for (auto [page, prefix] : {std::pair{m_musicPage, "Music"}, std::pair{m_photosPage, "Photos"}}) {
        page->SetTreeWidth(m_settings->ReadInteger("", std::string(prefix) + "ItemBrowserSplitter", page->TreeWidth()));
        page->SetTopHalfHeight(
            m_settings->ReadInteger("", std::string(prefix) + "HeightSplitter", page->TopHalfHeight()));
    }
}

TMediaPage* TLumoConnectPublisher::PlacePage(int tab, const std::function<TMediaPage*(QWidget*)>& build)
{
    QWidget* holder = m_tabs->widget(tab);
    TMediaPage* page = build(holder);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    page->Initialize();
    return page;
}

void TLumoConnectPublisher::BindCurrentPage()
{
    m_currentPage = m_tabs->currentIndex() == c_PhotosTab ? m_photosPage : m_musicPage;
    TMediaPage* page = m_currentPage;
    auto source = [page](QAction* TMediaPage::*action) { return page ? page->*action : nullptr; };
    BindPageAction(Publish, source(&TMediaPage::PublishAction));
    BindPageAction(Unpublish, source(&TMediaPage::UnpublishAction));
    BindPageAction(Open, source(&TMediaPage::OpenAction));
    BindPageAction(Properties, source(&TMediaPage::PropertiesAction));
    BindPageAction(Copy, source(&TMediaPage::FileCopyAction));
    BindPageAction(Paste, source(&TMediaPage::FileDropAction));
    BindPageAction(SelectAll, source(&TMediaPage::SelectAllAction));
    BindPageAction(Clear, source(&TMediaPage::ClearAction));
    BindPageAction(Up, source(&TMediaPage::UpAction));
    if (page)
        page->UpdateActions();
    UpdateUndo();
}

void TLumoConnectPublisher::PagesIdle()
{
    for (TMediaPage* page : {m_musicPage, m_photosPage}) {
        if (page)
            page->Idle();
    }
}

TLumoConnectPublisher::PagesState TLumoConnectPublisher::PagesWork()
{
    PagesState state = PagesState::Idle;
    for (TMediaPage* page : {m_musicPage, m_photosPage}) {
        if (!page)
            continue;
        const ItemsStatusEvent status = page->ItemsStatus();
        if (status.m_busy)
            return PagesState::Placing;
        if (!status.m_listing.isEmpty())
            state = PagesState::AwaitingListing;
    }
    return state;
}

void TLumoConnectPublisher::PagesCloseWork()
{
    for (TMediaPage* page : {m_musicPage, m_photosPage}) {
        if (page)
            page->PublishedList->Clear();
    }
}

void TLumoConnectPublisher::SavePageSplitters()
{
    if (!m_musicPage || !m_photosPage)
        return;
    m_settings->WriteInteger("", "MusicItemBrowserSplitter", m_musicPage->TreeWidth());
    m_settings->WriteInteger("", "MusicHeightSplitter", m_musicPage->TopHalfHeight());
    m_settings->WriteInteger("", "PhotosItemBrowserSplitter", m_photosPage->TreeWidth());
    m_settings->WriteInteger("", "PhotosHeightSplitter", m_photosPage->TopHalfHeight());
}

void TLumoConnectPublisher::DestroyPages()
{
    m_currentPage = nullptr;
    delete m_photosPage;
    m_photosPage = nullptr;
    delete m_musicPage;
    m_musicPage = nullptr;
}
