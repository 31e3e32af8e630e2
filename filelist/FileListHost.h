// What adding and removing files need from the window that shows the list.
#pragma once

namespace korvale {

class FileListHost {
public:
    virtual ~FileListHost() = default;
    // Rebuilds the rows, the file count and the statistics from the list.
    virtual void RefreshFileList() = 0;
    virtual void UpdateControlStates(bool interactive) = 0;
};

// For callers without a window, such as the command line: nothing to show.
class NoFileListView : public FileListHost {
public:
    void RefreshFileList() override {}
    void UpdateControlStates(bool) override {}
};

}  // namespace korvale
