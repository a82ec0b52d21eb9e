#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "server/AnswerFolders.h"

namespace {

class AnswerFoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/answer-folders-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    std::string Make(const std::string& relative)
    {
        const std::string path = m_root + "/" + relative;
        std::ofstream(path) << "x";
        return path;
    }

    std::string m_root;
};

// An item is answered only while its file is there; a folder opened for one answer must not
// stand in for what is at its path in the next.
TEST_F(AnswerFoldersTest, FilesAreJudgedByWhatIsAtTheirPathWhenTheAnswerIsMade)
{
    ASSERT_EQ(mkdir((m_root + "/a").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((m_root + "/a/sub").c_str(), 0700), 0);
    const std::string song = Make("a/song.mp3");
    const std::string other = Make("a/other.mp3");
    {
        AnswerFolders folders;
        EXPECT_TRUE(folders.IsFile(song));
        EXPECT_TRUE(folders.IsFile(other));
        EXPECT_FALSE(folders.IsFile(m_root + "/a/missing.mp3"));
        EXPECT_FALSE(folders.IsFile(m_root + "/a/sub")) << "a folder is no file";
        EXPECT_FALSE(folders.IsFile(m_root + "/gone/song.mp3"));
        ASSERT_EQ(unlink(other.c_str()), 0);
        EXPECT_FALSE(folders.IsFile(other)) << "a file removed during the answer";
    }

    // The folder is renamed and another made in its place without the song.
    ASSERT_EQ(rename((m_root + "/a").c_str(), (m_root + "/old").c_str()), 0);
    ASSERT_EQ(mkdir((m_root + "/a").c_str(), 0700), 0);
    {
        AnswerFolders folders;
        EXPECT_FALSE(folders.IsFile(song));
        Make("a/song.mp3");
        EXPECT_TRUE(folders.IsFile(song));
    }

    // Past the folders kept open, paths are still judged right.
    AnswerFolders folders;
    for (int index = 0; index < 40; ++index) {
        const std::string folder = m_root + "/many" + std::to_string(index);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        if (index % 2 == 0)
            Make("many" + std::to_string(index) + "/x.mp3");
        EXPECT_EQ(folders.IsFile(folder + "/x.mp3"), index % 2 == 0) << index;
    }
    EXPECT_FALSE(folders.IsFile("relative.mp3"));
    EXPECT_FALSE(folders.IsFile(m_root + "/a/"));
}

// An item found in a folder that has not changed since is not looked for again; any entry
// added, removed or renamed there, or a folder whose time is too fresh to tell, sends it
// looking again.
TEST_F(AnswerFoldersTest, AFolderThatHasNotChangedVouchesForItsItems)
{
    ASSERT_EQ(mkdir((m_root + "/album").c_str(), 0700), 0);
    const std::string song = Make("album/song.mp3");
    const std::string folder = m_root + "/album";
    // The folder's time, set back by a minute or to now, keeping what is in it.
    auto age = [&](bool old) {
        timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        if (old) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            times[1] = {now.tv_sec - 60, 0};
        }
        ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    };
    auto timeOf = [&] {
        struct stat info { };
        EXPECT_EQ(::stat(folder.c_str(), &info), 0);
        return info.st_mtim;
    };
    auto setTime = [&](timespec time) {
        const timespec times[2] = {{0, UTIME_OMIT}, time};
        ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    };

    age(true);
    FolderStamp stamp;
    EXPECT_TRUE(AnswerFolders().IsFile(song, &stamp));
    EXPECT_TRUE(stamp.known);
    EXPECT_TRUE(AnswerFolders().IsFile(song, &stamp));

    // Removed: the folder's time moves, so the stamp no longer vouches.
    ASSERT_EQ(unlink(song.c_str()), 0);
    EXPECT_FALSE(AnswerFolders().IsFile(song, &stamp));
    EXPECT_FALSE(stamp.known);

    // A file system that keeps the folder's time coarsely may leave it unchanged by a removal
    // in the same tick: a time that fresh is never trusted.
    Make("album/song.mp3");
    age(false);
    const timespec fresh = timeOf();
    EXPECT_TRUE(AnswerFolders().IsFile(song, &stamp));
    ASSERT_EQ(unlink(song.c_str()), 0);
    setTime(fresh);
    EXPECT_FALSE(AnswerFolders().IsFile(song, &stamp));

    // Another folder put in its place with the same time does not vouch either.
    Make("album/song.mp3");
    age(true);
    EXPECT_TRUE(AnswerFolders().IsFile(song, &stamp));
    const timespec old = timeOf();
    ASSERT_EQ(rename(folder.c_str(), (m_root + "/was").c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    setTime(old);
    EXPECT_FALSE(AnswerFolders().IsFile(song, &stamp));
}

} // namespace
