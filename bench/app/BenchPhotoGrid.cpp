// Opens the photos page over the real modules and a pictures folder of 10,000 small JPEGs, and
// measures what a person with a large folder meets in the photo grid:
//   1. the time from the folder's UM_SHOW_CONTAINER to every cell placed, with the longest
//      stall of the interface thread meanwhile;
//   2. the resident memory after scrolling through the whole grid with every cell rendered;
//   3. the longest render tick and the longest stall of the interface thread while the grid
//      renders with its own 20 ms timer from cached thumbnails.
// The scroll-through calls the grid's render tick back to back instead of waiting 20 ms per
// cell, so all 10,000 cells are drawn in minutes rather than in 200 s of timer ticks; between
// ticks it runs the events that bring the thumbnails' answers.
// Usage: bench_photo_grid [collection folder]   (built there when missing and kept)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/LumoConnectPublisher.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoItemsForm.h"

namespace fs = std::filesystem;

namespace {

constexpr int c_Photos = 10000;

void BuildCollection(const fs::path& root)
{
    const fs::path pictures = root / "home" / "Pictures";
    const fs::path last = pictures / ("IMG_" + std::to_string(10000 + c_Photos - 1) + ".jpg");
    if (!fs::exists(last)) {
        fs::create_directories(pictures);
        QImage image(320, 240, QImage::Format_RGB32);
        for (int index = 0; index < c_Photos; ++index) {
            // Different pictures, so no two thumbnails are alike.
            image.fill(QColor::fromHsv(index % 360, 160, 200));
            QPainter painter(&image);
            painter.fillRect(20 + index % 200, 30, 80, 120, QColor::fromHsv((index * 7) % 360, 255, 120));
            painter.drawText(QRect(0, 180, 320, 40), Qt::AlignCenter, QString::number(index));
            painter.end();
            const fs::path file = pictures / ("IMG_" + std::to_string(10000 + index) + ".jpg");
            if (!image.save(QString::fromStdString(file.string()), "JPEG", 85)) {
                std::fprintf(stderr, "cannot write %s\n", file.c_str());
                std::exit(1);
            }
        }
    }
    fs::create_directories(root / "config");
    std::ofstream(root / "config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << pictures.string() << "\"\n";
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The longest gap between two ticks of a 10 ms timer while work runs: how long the window
// could not have painted.
class StallWatch {
public:
    StallWatch()
    {
        m_ticker.setInterval(10);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { Tick(); });
        m_ticker.start();
        m_sinceTick.start();
    }
    double LongestMs()
    {
        Tick();
        return m_longest;
    }

private:
    void Tick()
    {
        m_longest = std::max(m_longest, double(m_sinceTick.nsecsElapsed()) / 1e6);
        m_sinceTick.restart();
    }

    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    double m_longest = 0;
};

bool RunUntil(TLumoConnectPublisher& window, const std::function<bool()>& done, int limitMs = 300000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        window.RunIdle();
        if (clock.elapsed() > limitMs) {
            std::fprintf(stderr, "gave up after %d s\n", limitMs / 1000);
            return false;
        }
    }
    return true;
}

QTreeWidgetItem* Child(QTreeWidget& tree, const QString& text)
{
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        if (tree.topLevelItem(i)->text(0) == text)
            return tree.topLevelItem(i);
    }
    return nullptr;
}

bool InViewUnrendered(TPhotoItems& grid)
{
    const int height = grid.ScrollBox->viewport()->height();
    for (int index = 0; index < grid.Count(); ++index) {
        const int top = grid.CellPosition(index).y();
        if (top >= height)
            break;
        const PhotoCell& cell = grid.Cell(index);
        if (top + 150 > 0 && !cell.Rendered && !cell.RenderFailed)
            return true;
    }
    return false;
}

// The longest run of one timer's timeout handlers.
class TickWatch : public QObject {
public:
    explicit TickWatch(QTimer& timer) : m_timer(timer)
    {
        timer.installEventFilter(this);
        m_connection = QObject::connect(&timer, &QTimer::timeout, [this] {
            if (m_running)
                m_longest = std::max(m_longest, double(m_tick.nsecsElapsed()) / 1e6);
            m_running = false;
        });
    }
    ~TickWatch() override
    {
        m_timer.removeEventFilter(this);
        QObject::disconnect(m_connection);
    }
    double LongestMs() const { return m_longest; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer) {
            m_running = true;
            m_tick.start();
        }
        return false;
    }

private:
    QTimer& m_timer;
    QMetaObject::Connection m_connection;
    QElapsedTimer m_tick;
    bool m_running = false;
    double m_longest = 0;
};

struct ScrollThrough {
    double seconds = 0;
    double longestTickMs = 0;
    int rendered = 0;
    int failed = 0;
};

// Page by page from the top, drawing every cell in view before moving on.
ScrollThrough RenderAll(TPhotoItems& grid)
{
    ScrollThrough result;
    QElapsedTimer clock;
    clock.start();
    QScrollBar* bar = grid.ScrollBox->verticalScrollBar();
    grid.SetScrollPosition(0);
    while (true) {
        while (InViewUnrendered(grid)) {
            QElapsedTimer tick;
            tick.start();
            grid.RenderingTimerTimer();
            result.longestTickMs = std::max(result.longestTickMs, double(tick.nsecsElapsed()) / 1e6);
            // The thumbnail provider's answers. With none free to ask for, wait a moment without
            // letting the loop block: a blocking loop runs the window's idle pass each time.
            QCoreApplication::processEvents();
            while (grid.ThumbnailsOutstanding() > 1) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                QCoreApplication::processEvents();
            }
        }
        QCoreApplication::processEvents();
        if (bar->value() >= bar->maximum())
            break;
        grid.SetScrollPosition(bar->value() + bar->pageStep());
    }
    for (int index = 0; index < grid.Count(); ++index) {
        result.rendered += grid.Cell(index).Rendered ? 1 : 0;
        result.failed += grid.Cell(index).RenderFailed ? 1 : 0;
    }
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "lumo-bench-photo-grid";
    std::printf("collection: %s\n", root.c_str());
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);

    // Lines appear as the phases end, also when the output is a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    BuildCollection(root);
    // No thumbnail from an earlier run: the first scroll-through makes every one of them.
    std::error_code ignored;
    fs::remove_all(root / "cache", ignored);
    fs::remove_all(root / "data", ignored);
    std::printf("resident at start                          %8ld kB\n", ResidentKb());

    TLumoConnectPublisher window;
    window.resize(1100, 1000);
    QTreeWidget* tree = nullptr;
    QTreeWidgetItem* pictures = nullptr;
    window.show();
    if (!RunUntil(window, [&] {
            if (!window.PhotosPage())
                return false;
            tree = window.PhotosPage()->MediaTree->Tree;
            pictures = Child(*tree, "Pictures");
            return pictures != nullptr;
        }))
        return 1;
    auto* grid = qobject_cast<TPhotoItems*>(window.PhotosPage()->ItemsView);
    if (!grid) {
        std::fprintf(stderr, "the photos page has no photo grid\n");
        return 1;
    }
    for (QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
        for (int tab = 0; tab < tabs->count(); ++tab) {
            if (tabs->widget(tab)->isAncestorOf(grid))
                tabs->setCurrentIndex(tab);
        }
    }
    // A tall top half, so a screen holds several rows of cells.
    RunUntil(
        window, [&] { return grid->isVisible(); }, 10000);
    window.PhotosPage()->SetTopHalfHeight(std::max(210, window.PhotosPage()->height() - 260));
    RunUntil(window, [] { return true; });
    std::printf("grid viewport %d x %d: %d columns, %d rows\n", grid->ScrollBox->viewport()->width(),
        grid->ScrollBox->viewport()->height(), grid->Columns(), grid->Rows());

    // The same message the tree posts when the folder is selected; the old cells all go first.
    TMediaTree& mediaTree = *window.PhotosPage()->MediaTree;
    auto Reshow = [&] {
        QCoreApplication::postEvent(grid, new ShowContainerEvent(mediaTree.ItemOfNode(pictures)->Url()));
        QCoreApplication::processEvents();
        RunUntil(window, [&] { return grid->Count() == c_Photos; });
    };

    // 1. Selecting the folder posts UM_SHOW_CONTAINER to the grid.
    {
        StallWatch stalls;
        QElapsedTimer clock;
        clock.start();
        tree->setCurrentItem(pictures);
        if (!RunUntil(window, [&] { return grid->Count() == c_Photos; }))
            return 1;
        std::printf("UM_SHOW_CONTAINER to %d cells placed       %8.3f s   longest stall %7.1f ms\n", c_Photos,
            double(clock.nsecsElapsed()) / 1e9, stalls.LongestMs());
    }

    // 2. Every cell drawn, the module's cache filled on the way.
    {
        const ScrollThrough pass = RenderAll(*grid);
        std::printf("scroll-through, thumbnails made            %8.3f s   longest tick  %7.1f ms  (%d rendered, %d "
                    "failed)\n",
            pass.seconds, pass.longestTickMs, pass.rendered, pass.failed);
        std::printf("resident after scrolling through all       %8ld kB\n", ResidentKb());
    }

    // 3. The folder shown again: every thumbnail now comes from the cache.
    {
        Reshow();
        const ScrollThrough pass = RenderAll(*grid);
        std::printf("scroll-through, cached thumbnails          %8.3f s   longest tick  %7.1f ms\n", pass.seconds,
            pass.longestTickMs);
        std::printf("resident after scrolling through all again %8ld kB\n", ResidentKb());
    }

    // 4. The grid's own 20 ms timer at work, cached thumbnails, several screens, with the event
    //    loop running as in the program (its idle processing included). A filter on the timer
    //    sees each tick begin; a slot connected after the grid's own sees it end.
    {
        Reshow();
        TickWatch ticks(*grid->RenderingTimer);
        StallWatch stalls;
        QElapsedTimer clock;
        clock.start();
        for (int screen = 0; screen < 8; ++screen) {
            while (InViewUnrendered(*grid))
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            grid->SetScrollPosition(grid->ScrollPosition() + grid->ScrollBox->viewport()->height());
        }
        std::printf("8 screens drawn by the 20 ms timer            %8.3f s   longest tick  %7.1f ms   longest stall "
                    "%7.1f ms\n",
            double(clock.nsecsElapsed()) / 1e9, ticks.LongestMs(), stalls.LongestMs());
    }
    window.close();
    return 0;
}
