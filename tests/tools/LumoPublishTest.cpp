// lumo-publish as a script runs it: a process per command, in a home folder of its own, with
// the modules of the build.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sqlite3.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class LumoPublishTest : public testing::Test {
protected:
    LumoPublishTest()
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-publish-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_root = pattern;
        fs::create_directories(m_root / "config");
        fs::create_directories(Home() / "Music");
        fs::create_directories(Home() / "Pictures");
        std::ofstream(m_root / "config" / "user-dirs.dirs")
            << "XDG_MUSIC_DIR=\"$HOME/Music\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n";
    }
    ~LumoPublishTest() override
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    fs::path Home() const { return m_root / "home"; }

    // A run that takes longer than timeoutMs fails the test, and is killed.
    Result Publish(const QStringList& args, int timeoutMs = 120000)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", QString::fromStdString(Home().string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((m_root / "config").string()));
        environment.insert("XDG_DATA_HOME", QString::fromStdString((m_root / "data").string()));
        environment.insert("XDG_CACHE_HOME", QString::fromStdString((m_root / "cache").string()));
        for (const QString& name : m_environment.keys())
            environment.insert(name, m_environment.value(name));
        QProcess process;
        process.setProcessEnvironment(environment);
        if (m_asNobody) {
            process.setChildProcessModifier([] {
                if (setgroups(0, nullptr) != 0 || setgid(c_Nobody) != 0 || setuid(c_Nobody) != 0)
                    _exit(127);
            });
        }
        process.setWorkingDirectory(QString::fromStdString(m_root.string()));
        process.start(QStringLiteral(LUMO_PROGRAM_DIR "/lumo-publish"), args);
        Result run;
        if (!process.waitForFinished(timeoutMs)) {
            ADD_FAILURE() << "lumo-publish " << args.join(' ').toStdString() << " did not finish";
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    // A tenth of a second of silence.
    std::string Song(const std::string& relative)
    {
        const uint32_t rate = 8000;
        const uint32_t bytes = rate / 10 * 2;
        std::string wav = "RIFF";
        auto put = [&wav](uint32_t value, int size) {
            for (int at = 0; at < size; ++at)
                wav += char(value >> (8 * at));
        };
        put(36 + bytes, 4);
        wav += "WAVEfmt ";
        put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
        wav += "data";
        put(bytes, 4);
        wav.append(bytes, '\0');
        return Write(relative, wav);
    }

    std::string Photo(const std::string& relative, int width, int height, const char* format = "JPEG",
        Qt::GlobalColor colour = Qt::darkCyan)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        const fs::path path = Home() / relative;
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(image.save(QString::fromStdString(path.string()), format)) << relative;
        return path.string();
    }

    std::string Write(const std::string& relative, const std::string& bytes)
    {
        const fs::path path = Home() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // Permissions do not bind root: from now on, as root, the sandbox is nobody's and the tool
    // runs as nobody.
    void RunAsAUser()
    {
        if (geteuid() != 0)
            return;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_root))
            ASSERT_EQ(lchown(entry.path().c_str(), c_Nobody, c_Nobody), 0) << entry.path();
        ASSERT_EQ(lchown(m_root.c_str(), c_Nobody, c_Nobody), 0);
        m_asNobody = true;
    }

    static constexpr uid_t c_Nobody = 65534;
    fs::path m_root;
    bool m_asNobody = false;
    // Added to the tool's environment.
    QProcessEnvironment m_environment;
};

QStringList Q(std::initializer_list<std::string> texts)
{
    QStringList list;
    for (const std::string& text : texts)
        list << QString::fromStdString(text);
    return list;
}

int LinesOf(const std::string& text)
{
    return int(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST_F(LumoPublishTest, ListsRootsFoldersAndPlaylistsAndGoesOnPastAFailure)
{
    const std::string song = Song("Music/Album/01 First.wav");
    Song("Music/Album/02 Second.wav");
    Write("Music/Album/.hidden.wav", "x");
    // Two playlists listing each other, one with a missing song: -R neither loops nor fails.
    Write("Music/Album/a.m3u", "b.m3u\n01 First.wav\ngone.mp3\n");
    Write("Music/Album/b.m3u", "a.m3u\n");

    const Result roots = Publish(Q({"roots", "music"}));
    EXPECT_EQ(roots.status, 0) << roots.err;
    EXPECT_EQ(roots.out,
        "x-container/lumomusic-roots\tMusic\tlumomusic://roots\n"
        "x-container/lumomusic-published\tPublished music\tlumomusic://published\n");
    const Result available = Publish(Q({"ls", "lumomusic://roots"}));
    EXPECT_NE(
        available.out.find("x-container/lumomusic-folder\tMusic\tlumomusic-file://" + Home().string() + "/Music\n"),
        std::string::npos)
        << available.out;

    const Result tree = Publish(Q({"ls", "-R", (Home() / "Music").string(), (Home() / "Nowhere").string()}));
    EXPECT_EQ(tree.status, 1);
    EXPECT_EQ(
        tree.err, "lumo-publish: " + (Home() / "Nowhere").string() + ": The system cannot find the file specified\n");
    EXPECT_NE(tree.out.find("x-container/folder\tAlbum\tfile://"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("audio/x-wav\t01 First\tfile://" + Home().string() + "/Music/Album/01%20First.wav\n"),
        std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("x-application/lumo-broken\tgone\t"), std::string::npos) << tree.out;
    EXPECT_EQ(tree.out.find(".hidden"), std::string::npos);
    // Album; its 4 entries; a: b (a listed, not entered again), the song, gone; b: a (b listed,
    // the song, gone).
    EXPECT_EQ(LinesOf(tree.out), 1 + 4 + (2 + 2) + (2 + 2)) << tree.out;

    const Result details = Publish(Q({"details", song}));
    EXPECT_EQ(details.status, 0) << details.err;
    EXPECT_EQ(details.out.rfind("Url\tfile://", 0), 0u) << details.out;
    EXPECT_NE(details.out.find("\nContentType\taudio/x-wav\n"), std::string::npos) << details.out;
    EXPECT_NE(details.out.find("\nDuration\t100\n"), std::string::npos) << details.out;
}

TEST_F(LumoPublishTest, AListingLoadsNoImagingLibraryAndOpensNoCache)
{
    // A third of a short listing's time went to loading the toolkit's imaging part and opening
    // the disk cache; only a picture other than JPEG needs the one, only a thumbnail the other.
    const std::string png = Photo("Pictures/a.png", 20, 10, "PNG");
    Photo("Pictures/b.jpg", 20, 10);
    m_environment.insert("LD_DEBUG", "files");
    const Result listing = Publish(Q({"ls", "-R", (Home() / "Pictures").string()}));
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find("image/png"), std::string::npos) << listing.out;
    EXPECT_EQ(listing.err.find("libQt6Gui"), std::string::npos) << "the listing loaded the imaging library";
    EXPECT_FALSE(fs::exists(m_root / "cache" / "Lumo Desktop" / "DiskCache.db"));

    const Result details = Publish(Q({"details", png}));
    EXPECT_EQ(details.status, 0) << details.err;
    EXPECT_NE(details.out.find("\nSourceWidth\t20\n"), std::string::npos) << details.out;
    EXPECT_NE(details.err.find("libQt6Gui"), std::string::npos) << "the PNG was not read by the helper";
}

TEST_F(LumoPublishTest, PublishesEachInputOnItsOwnAndKeepsTheSet)
{
    const std::string song = Song("Music/a song.wav");
    const std::string photo = Photo("Pictures/lake.jpg", 64, 48);
    const std::string entry = "lumomusic-file://" + Home().string() + "/Music/a%20song.wav";

    const Result publish = Publish(Q({"publish", "music", song, photo, song}));
    EXPECT_EQ(publish.status, 1);
    EXPECT_EQ(publish.out, entry + "\n");
    EXPECT_EQ(publish.err,
        "lumo-publish: " + photo
            + ": The data supplied is of the wrong type\n"
              "lumo-publish: "
            + song + ": Cannot create a file when that file already exists\n");

    const Result published = Publish(Q({"published", "music"}));
    EXPECT_EQ(published.out, "audio/x-wav\ta song\t" + entry + "\n");
    EXPECT_EQ(Publish(Q({"published", "photos"})).out, "");

    const Result unpublish = Publish(Q({"unpublish", "music", song, song}));
    EXPECT_EQ(unpublish.status, 1);
    EXPECT_EQ(unpublish.out, entry + "\n");
    EXPECT_EQ(Publish(Q({"published", "music"})).out, "");

    EXPECT_EQ(Publish(Q({"publish", "videos", song})).status, 2);
}

TEST_F(LumoPublishTest, WritesOneThumbnailPerPictureThatFitsTheSize)
{
    const std::string wide = Photo("Pictures/wide.jpg", 400, 200);
    const std::string tall = Photo("Pictures/tall.jpg", 100, 300);
    const std::string broken = Write("Pictures/broken.jpg", std::string("\xFF\xD8\xFF\xE0 not a picture"));
    const fs::path out = m_root / "thumbs";

    const Result run = Publish(Q({"thumbnail", "--out", out.string(), wide, broken, tall}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, (out / "wide-116x116.jpg").string() + "\n" + (out / "tall-116x116.jpg").string() + "\n");
    EXPECT_NE(run.err.find(broken + ": "), std::string::npos) << run.err;
    EXPECT_EQ(QImage(QString::fromStdString((out / "wide-116x116.jpg").string())).size(), QSize(116, 58));
    EXPECT_EQ(QImage(QString::fromStdString((out / "tall-116x116.jpg").string())).size(), QSize(39, 116));
    EXPECT_FALSE(fs::exists(out / "broken-116x116.jpg"));
    EXPECT_FALSE(fs::exists(out / "broken-116x116.jpg.part"));

    const Result sized = Publish(Q({"thumbnail", "--no-cache", "--size=40x30", "--out", out.string(), wide}));
    EXPECT_EQ(sized.status, 0) << sized.err;
    EXPECT_EQ(QImage(QString::fromStdString((out / "wide-40x30.jpg").string())).size(), QSize(40, 20));

    EXPECT_EQ(Publish(Q({"thumbnail", "--size", "0x10", wide})).status, 2);
}

// Bad inputs as a user's disk holds them: each command must end, within a time limit, and say
// what is wrong.
class BadInputTest : public LumoPublishTest {
protected:
    static constexpr int c_LimitMs = 60000;
};

// Two lists that reach each other through a linked folder were, on each way down, new lists:
// ls -R printed without end.
TEST_F(BadInputTest, ListsThatReachEachOtherThroughALinkedFolderEnd)
{
    Write("Music/M/a.m3u", "link/b.m3u\nlink/b.m3u\n");
    Write("Music/M/b.m3u", "link/a.m3u\nlink/a.m3u\n");
    Write("Music/M/c.m3u", "/\nfile:///\n.\n");
    fs::create_directory_symlink(".", Home() / "Music" / "M" / "link");

    const Result tree = Publish(Q({"ls", "-R", (Home() / "Music" / "M").string()}), c_LimitMs);
    EXPECT_EQ(tree.status, 0) << tree.err;
    // a, and twice b with its two lines of a (not entered again); b the same way; c with
    // nothing. The linked folder is the folder itself, which the folders module leaves out.
    EXPECT_EQ(LinesOf(tree.out), (1 + 2 * 3) * 2 + 1) << tree.out;
}

// An empty argument became the root folder: publish music '' published the whole file system.
TEST_F(BadInputTest, AnEmptyPathIsRefused)
{
    for (const QStringList& args : {Q({"ls", ""}), Q({"ls", "-R", ""}), Q({"details", ""}), Q({"type", ""}),
             Q({"publish", "music", ""}), Q({"publish", "photos", ""}), Q({"thumbnail", ""})}) {
        const Result run = Publish(args, c_LimitMs);
        EXPECT_EQ(run.status, 1) << args.join(' ').toStdString();
        EXPECT_EQ(run.out, "") << args.join(' ').toStdString();
        EXPECT_EQ(run.err, "lumo-publish: '': The filename, directory name, or volume label syntax is incorrect\n")
            << args.join(' ').toStdString();
    }
    EXPECT_EQ(Publish(Q({"published", "music"})).out, "");
    EXPECT_EQ(Publish(Q({"published", "photos"})).out, "");
}

// Every path's backslashes were taken for separators: a\b.wav could not be published.
TEST_F(BadInputTest, ABackslashIsPartOfAName)
{
    const std::string song = Song("Music/a\\b.wav");
    Write("Music/list.m3u", "a\\b.wav\n");
    const std::string entry = "lumomusic-file://" + Home().string() + "/Music/a%5Cb.wav";

    const Result publish = Publish(Q({"publish", "music", song}), c_LimitMs);
    EXPECT_EQ(publish.status, 0) << publish.err;
    EXPECT_EQ(publish.out, entry + "\n");
    EXPECT_EQ(Publish(Q({"published", "music"}), c_LimitMs).out, "audio/x-wav\ta\\b\t" + entry + "\n");
    const Result details = Publish(Q({"details", song}), c_LimitMs);
    EXPECT_NE(details.out.find("\nSourceLocation\t" + song + "\n"), std::string::npos) << details.out;
    const Result list = Publish(Q({"ls", (Home() / "Music" / "list.m3u").string()}), c_LimitMs);
    EXPECT_EQ(list.out, "audio/x-wav\ta\\b\tfile://" + Home().string() + "/Music/a%5Cb.wav\n") << list.err;
}

// A pipe named like a song was published as one: a server opening it would wait for ever.
TEST_F(BadInputTest, OnlyFilesAndFoldersArePublished)
{
    const std::string pipe = (Home() / "Music" / "pipe.mp3").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    const std::string socketPath = (Home() / "Music" / "socket.wav").string();
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string device = (Home() / "Music" / "device.mp3").string();
    fs::create_symlink("/dev/zero", device);
    const std::string photo = (Home() / "Pictures" / "pipe.jpg").string();
    ASSERT_EQ(mkfifo(photo.c_str(), 0644), 0);

    const Result music = Publish(Q({"publish", "music", pipe, socketPath, device}), c_LimitMs);
    EXPECT_EQ(music.status, 1);
    EXPECT_EQ(music.out, "");
    for (const std::string& path : {pipe, socketPath, device})
        EXPECT_NE(music.err.find(path + ": The data supplied is of the wrong type\n"), std::string::npos) << music.err;
    const Result photos = Publish(Q({"publish", "photos", photo}), c_LimitMs);
    EXPECT_EQ(photos.err, "lumo-publish: " + photo + ": The data supplied is of the wrong type\n");
    EXPECT_EQ(Publish(Q({"published", "music"}), c_LimitMs).out, "");
    EXPECT_EQ(Publish(Q({"published", "photos"}), c_LimitMs).out, "");
    // Looking at them neither blocks nor fails the folder.
    EXPECT_EQ(Publish(Q({"ls", (Home() / "Music").string()}), c_LimitMs).status, 0);
    EXPECT_EQ(Publish(Q({"details", pipe, device}), c_LimitMs).status, 0);
    close(listener);
}

// Made read-only, the set could not even be read; made writable again, it stayed "Access is
// denied" for good, as its log index had been made read-only meanwhile.
TEST_F(BadInputTest, AReadOnlySetIsReadAndTakesChangesOnceWritableAgain)
{
    const std::string first = Song("Music/first.wav");
    const std::string second = Song("Music/second.wav");
    RunAsAUser();
    ASSERT_EQ(Publish(Q({"publish", "music", first}), c_LimitMs).status, 0);
    const fs::path database = m_root / "data" / "Lumo Desktop" / "Published.db";
    const fs::perms readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(database, readable);

    const Result read = Publish(Q({"published", "music"}), c_LimitMs);
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(LinesOf(read.out), 1) << read.out;
    const Result refused = Publish(Q({"publish", "music", second}), c_LimitMs);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Access is denied"), std::string::npos) << refused.err;

    fs::permissions(database, readable | fs::perms::owner_write);
    const Result again = Publish(Q({"publish", "music", second}), c_LimitMs);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(LinesOf(Publish(Q({"published", "music"}), c_LimitMs).out), 2);
}

// A damaged set blamed the song being published; a link loop read as a registry failure; a
// missing input was "not supported", or "-" with success.
TEST_F(BadInputTest, MessagesNameTheFileAtFaultAndTheReason)
{
    const std::string song = Song("Music/song.wav");
    const fs::path database = m_root / "data" / "Lumo Desktop" / "Published.db";
    fs::create_directories(database.parent_path());
    std::ofstream(database, std::ios::binary) << std::string(8192, 'g');
    const std::string damaged = database.string() + ": The data is invalid\n";
    EXPECT_EQ(Publish(Q({"publish", "music", song}), c_LimitMs).err, "lumo-publish: " + song + ": " + damaged);
    const Result published = Publish(Q({"published", "music"}), c_LimitMs);
    EXPECT_EQ(published.status, 1);
    EXPECT_EQ(published.err, "lumo-publish: " + damaged);

    // Another program's database under the same name.
    fs::remove(database);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE notes(text TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Publish(Q({"publish", "music", song}), c_LimitMs).err, "lumo-publish: " + song + ": " + damaged);

    const std::string loop = (Home() / "Music" / "loop.mp3").string();
    fs::create_symlink("loop.mp3", loop);
    fs::create_directory_symlink("loop b", Home() / "Music" / "loop a");
    fs::create_directory_symlink("loop a", Home() / "Music" / "loop b");
    const std::string unresolved = ": The name of the file cannot be resolved by the system\n";
    for (const QStringList& args : {Q({"details", loop}), Q({"type", loop}), Q({"publish", "music", loop}),
             Q({"ls", (Home() / "Music" / "loop a").string()})}) {
        const Result run = Publish(args, c_LimitMs);
        EXPECT_EQ(run.status, 1) << args.join(' ').toStdString();
        EXPECT_EQ(run.err, "lumo-publish: " + args.back().toStdString() + unresolved);
    }
    for (const char* command : {"details", "type", "ls", "thumbnail"}) {
        const Result run = Publish(Q({command, "/nonexistent"}), c_LimitMs);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(run.err, "lumo-publish: /nonexistent: The system cannot find the file specified\n") << command;
    }
}

// What cannot be read for lack of rights was "not there".
TEST_F(BadInputTest, WhatCannotBeReadIsDeniedNotMissing)
{
    const std::string song = Song("Music/Locked/song.wav");
    RunAsAUser();
    fs::permissions(Home() / "Music" / "Locked", fs::perms::none);
    const std::string denied = "lumo-publish: " + song + ": Access is denied\n";
    EXPECT_EQ(Publish(Q({"publish", "music", song}), c_LimitMs).err, denied);
    EXPECT_EQ(Publish(Q({"details", song}), c_LimitMs).err, denied);
    EXPECT_EQ(Publish(Q({"type", song}), c_LimitMs).err, denied);
    fs::permissions(Home() / "Music" / "Locked", fs::perms::owner_all);
}

// The photo formats Qt reads through its image-format plug-ins got no thumbnail: the plug-ins
// were neither installed nor required.
TEST_F(BadInputTest, TiffAndWebpPhotosGetThumbnails)
{
    const std::string tiff = Photo("Pictures/scan.tiff", 200, 100, "TIFF", Qt::red);
    const std::string webp = Photo("Pictures/shot.webp", 100, 200, "WEBP", Qt::blue);
    const fs::path out = m_root / "thumbs";
    const Result run = Publish(Q({"thumbnail", "--out", out.string(), tiff, webp}), c_LimitMs);
    EXPECT_EQ(run.status, 0) << run.err;
    const QImage wide(QString::fromStdString((out / "scan-116x116.jpg").string()));
    const QImage tall(QString::fromStdString((out / "shot-116x116.jpg").string()));
    EXPECT_EQ(wide.size(), QSize(116, 58));
    EXPECT_EQ(tall.size(), QSize(58, 116));
    if (!wide.isNull()) {
        EXPECT_GT(qRed(wide.pixel(58, 29)), 150);
    }
    if (!tall.isNull()) {
        EXPECT_GT(qBlue(tall.pixel(29, 58)), 150);
    }
}
