// The folders of one answer's items, each opened once, so that looking for each item walks
// only its own name rather than its whole path (most of what the check cost). Opened per
// answer and closed with it, a folder stands for what is at its path while the answer is made.
#pragma once

#include <string>
#include <unordered_map>

class AnswerFolders {
public:
    AnswerFolders() = default;
    AnswerFolders(const AnswerFolders&) = delete;
    AnswerFolders& operator=(const AnswerFolders&) = delete;
    ~AnswerFolders();

    // True when path names a regular file now.
    bool IsFile(const std::string& path);

private:
    std::unordered_map<std::string, int> m_open;
};
