// A batch host that shows nothing: for run tests that look only at files and answers.
#pragma once

#include <string>

#include "BatchRun.h"

namespace korvale::test {

class QuietHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
};

}  // namespace korvale::test
