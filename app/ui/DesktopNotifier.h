// Desktop notifications: the freedesktop notification service over D-Bus, behind an interface
// that tests replace.
#pragma once

#include <memory>
#include <string>

namespace korvale {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    virtual void Notify(const std::string& title, const std::string& body) = 0;
};

// Sends to org.freedesktop.Notifications on the session bus without waiting for an answer;
// where no bus or no service runs, nothing happens.
std::unique_ptr<DesktopNotifier> MakeDBusNotifier();

}  // namespace korvale
