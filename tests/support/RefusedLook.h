// A file-call seam that fails the look at one name with EACCES, as the kernel's own link rule
// makes it fail for a link another user planted.
#pragma once

#include <cerrno>
#include <string>

#include "FileCalls.h"

namespace korvale::test {

class RefusedLook : public FileCalls {
public:
    explicit RefusedLook(std::string name) : name_(std::move(name)) { SetFileCalls(this); }
    ~RefusedLook() override { SetFileCalls(nullptr); }
    int Stat(int folder, const std::string& name, struct stat* info) override {
        if (name == name_) {
            errno = EACCES;
            return -1;
        }
        return FileCalls::Stat(folder, name, info);
    }

private:
    std::string name_;
};

}  // namespace korvale::test
