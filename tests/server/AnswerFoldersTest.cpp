#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

} // namespace
