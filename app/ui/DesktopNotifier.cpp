// Desktop notifications over D-Bus.
#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace korvale {
namespace {

class DBusNotifier : public DesktopNotifier {
public:
    void Notify(const std::string& title, const std::string& body) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
        call << QStringLiteral("Korvale") << 0u << QStringLiteral("korvale")
             << QString::fromStdString(title) << QString::fromStdString(body) << QStringList()
             << QVariantMap() << -1;
        // No reply is awaited: a missing service must not hold up the window.
        call.setAutoStartService(false);
        bus.send(call);
    }
};

}  // namespace

std::unique_ptr<DesktopNotifier> MakeDBusNotifier() {
    return std::make_unique<DBusNotifier>();
}

}  // namespace korvale
