// The mount table as the folders' drive types and the media classes' volumes read it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/MountInfo.h"

using LumoModules::MountEntry;
using LumoModules::ParseMountInfo;

TEST(MountTable, ParsesMountInfoLinesWithEscapes)
{
    const std::vector<MountEntry> mounts
        = ParseMountInfo("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                         "40 22 8:17 / /media/ann/MY\\040STICK rw,nosuid shared:9 master:2 - vfat /dev/sdb1 rw\n"
                         "41 22 0:50 /export /mnt/nas rw - nfs4 server:/export rw,vers=4.2\n"
                         "broken line\n"
                         "42 22 0:51 / /x rw shared:3\n");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fileSystem, "ext4");
    EXPECT_EQ(mounts[0].major, 8u);
    EXPECT_EQ(mounts[0].minor, 1u);
    EXPECT_EQ(mounts[1].mountPoint, "/media/ann/MY STICK");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].root, "/export");
    EXPECT_EQ(mounts[2].source, "server:/export");
}
