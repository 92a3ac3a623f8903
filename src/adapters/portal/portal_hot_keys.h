#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "core/ports/hot_keys.h"

class QDBusMessage;

namespace vennadar {

// System-wide hot keys on Wayland through the desktop's GlobalShortcuts portal. Identifiers are
// handed out at once; the keys registered in one turn of the event loop are bound together, in
// one session, on the next turn. The desktop may ask the user first, so nothing waits for it:
// a refusal, an empty binding or a session the desktop closes reaches the failure handler, and
// after the user's refusal every later registration gives 0. The
// session is closed when the last key is unregistered, and a session that answers after that
// is closed as it arrives. Construct after the QCoreApplication and destroy before it.
class PortalHotKeys final : public QObject, public HotKeys {
    Q_OBJECT

  public:
    explicit PortalHotKeys(QDBusConnection bus);
    ~PortalHotKeys() override;
    PortalHotKeys(const PortalHotKeys&) = delete;
    PortalHotKeys& operator=(const PortalHotKeys&) = delete;

    // Whether the portal is on the bus now. Asked without starting it, so that an installed
    // back end that is not running is never activated.
    bool Available() const;

    // Only the program's six playback combinations (Alt+Shift with Home, End, Right, Left, Up,
    // Down), each once; anything else gives 0.
    int Register(int modifiers, int key) override;
    void Unregister(int id) override;
    void SetHandler(std::function<void(int id)> handler) override;
    void SetFailureHandler(std::function<void()> handler) override;

  private Q_SLOTS:
    void OnResponse(const QDBusMessage& message);
    void OnActivated(const QDBusMessage& message);
    void OnShortcutsChanged(const QDBusMessage& message);
    void OnSessionClosed(const QDBusMessage& message);

  private:
    enum class Step { kNone, kRegistering, kCreating, kBinding, kBound, kFailed };
    struct Shortcut {
        int id = 0;
        int key = 0;
    };

    void Start();
    void CreateSession();
    void BindShortcuts();
    // Subscribes to the Response of the request the next call makes, before it is made.
    // Sends a call that answers with a request, and follows the request it names.
    void SendRequest(const QDBusMessage& message, const QString& expected, Step step);
    QString ExpectRequest(const QString& token);
    void ForgetRequest(const QString& path);
    void CreateAnswered(uint response, const QVariantMap& results);
    void BindAnswered(uint response, const QVariantMap& results);
    void CloseSession();
    void CloseRequest();
    void Fail();
    QString NextToken();

    QDBusConnection bus_;
    std::vector<Shortcut> shortcuts_;
    std::function<void(int id)> handler_;
    std::function<void()> on_failure_;
    int next_id_ = 1;
    int next_token_ = 1;
    int attempt_ = 0;  // a reply to an earlier attempt is stale
    bool start_queued_ = false;
    bool host_registered_ = false;
    bool refused_ = false;  // the user declined the binding
    Step step_ = Step::kNone;
    QString request_;  // the request waited for, if any
    QString session_;  // the session once the portal has made it
    // Requests abandoned while pending: a session one of them still makes is closed at once.
    std::set<QString> abandoned_;
    std::map<QString, Step> requests_;  // every request subscribed to, and what it answers
};

}  // namespace vennadar
