// The folders of one answer's items, each opened once, so that looking for each item walks
// only its own name rather than its whole path. Opened per answer and closed with it, a folder
// stands for what is at its path while the answer is made.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// The state of an item's folder when the item was last found there. Adding, removing or
// renaming an entry changes a folder's modification time, so while the folder still has this
// state the item is still there and need not be looked for again.
struct FolderStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modifiedNs = 0;
    bool known = false;
};

class AnswerFolders {
public:
    AnswerFolders();
    AnswerFolders(const AnswerFolders&) = delete;
    AnswerFolders& operator=(const AnswerFolders&) = delete;
    ~AnswerFolders();

    // True when path names a regular file now. stamp (may be null) is the item's: trusted when
    // it matches the folder, and set or cleared from what was found.
    bool IsFile(const std::string& path, FolderStamp* stamp = nullptr);

private:
    struct Folder {
        int fd = -1;
        FolderStamp now;
    };
    std::unordered_map<std::string, Folder> m_open;
    int64_t m_startNs = 0;
};
