#include "adapters/portal/portal_hot_keys.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QTimer>
#include <algorithm>
#include <iterator>

#include "core/ports/key_event.h"

namespace vennadar {

// One entry of the portal's a(sa{sv}) shortcut lists: an id and its properties.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

}  // namespace vennadar

Q_DECLARE_METATYPE(vennadar::PortalShortcut)

namespace vennadar {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString kRegistryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
constexpr char kApplicationId[] = "vennadar";

// The six playback keys as the desktop sees them. The ids never change, so that the desktop can
// remember what the user chose for each; the descriptions are the usage help's words.
struct PlaybackShortcut {
    int key;
    const char* id;
    const char* description;  // UTF-8
    const char* trigger;      // the XDG shortcuts format
};
constexpr PlaybackShortcut kPlaybackShortcuts[] = {
    {kKeyHome, "play-pause", "暂停或继续播放", "ALT+SHIFT+Home"},
    {kKeyEnd, "stop", "停止播放", "ALT+SHIFT+End"},
    {kKeyRight, "forward", "快进 5 秒", "ALT+SHIFT+Right"},
    {kKeyLeft, "back", "后退 5 秒", "ALT+SHIFT+Left"},
    {kKeyUp, "louder", "音量加大", "ALT+SHIFT+Up"},
    {kKeyDown, "softer", "音量减小", "ALT+SHIFT+Down"},
};

const PlaybackShortcut* FindByKey(int key) {
    const auto found = std::find_if(std::begin(kPlaybackShortcuts), std::end(kPlaybackShortcuts),
                                    [key](const PlaybackShortcut& s) { return s.key == key; });
    return found != std::end(kPlaybackShortcuts) ? found : nullptr;
}

const PlaybackShortcut* FindById(const QString& id) {
    const auto found =
        std::find_if(std::begin(kPlaybackShortcuts), std::end(kPlaybackShortcuts),
                     [&id](const PlaybackShortcut& s) { return id == QLatin1String(s.id); });
    return found != std::end(kPlaybackShortcuts) ? found : nullptr;
}

// Calls to a well-known name would start its service by default; the portal must never be
// started by this program, only used when it runs.
QDBusMessage PortalCall(const QString& path, const QString& interface, const QString& method,
                        const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kPortalService, path, interface, method);
    message.setAutoStartService(false);
    message.setArguments(arguments);
    return message;
}

// Portals disagree on the type of a handle in results: a string or an object path.
QString HandleText(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

// Whether the desktop gave any of the shortcuts a trigger. A shortcut that says nothing about its
// trigger counts as bound: only an explicitly empty trigger means the user assigned none.
bool AnyTriggerBound(const QList<PortalShortcut>& shortcuts) {
    return std::any_of(shortcuts.begin(), shortcuts.end(), [](const PortalShortcut& shortcut) {
        const QVariant trigger = shortcut.properties.value(QStringLiteral("trigger_description"));
        return !trigger.isValid() || !trigger.toString().isEmpty();
    });
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

PortalHotKeys::PortalHotKeys(QDBusConnection bus) : bus_(std::move(bus)) {
    // a(sa{sv}) cannot be marshalled from plain Qt types.
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    if (!bus_.isConnected()) {
        return;
    }
    bus_.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                 this, SLOT(OnActivated(QDBusMessage)));
    bus_.connect(kPortalService, kPortalPath, kShortcutsInterface,
                 QStringLiteral("ShortcutsChanged"), this, SLOT(OnShortcutsChanged(QDBusMessage)));
    // Deactivated (the key let go of) is not listened to: a playback key acts when pressed.
}

PortalHotKeys::~PortalHotKeys() {
    CloseRequest();
    CloseSession();
    for (const auto& request : requests_) {
        bus_.disconnect(kPortalService, request.first, kRequestInterface,
                        QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
    }
    bus_.disconnect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"),
                    this, SLOT(OnActivated(QDBusMessage)));
    bus_.disconnect(kPortalService, kPortalPath, kShortcutsInterface,
                    QStringLiteral("ShortcutsChanged"), this,
                    SLOT(OnShortcutsChanged(QDBusMessage)));
}

bool PortalHotKeys::Available() const {
    // NameHasOwner: asks the bus, never starts the portal.
    return bus_.isConnected() && bus_.interface() != nullptr &&
           bus_.interface()->isServiceRegistered(kPortalService).value();
}

int PortalHotKeys::Register(int modifiers, int key) {
    const PlaybackShortcut* shortcut = FindByKey(key);
    // Keys asked for once a binding is under way (or has failed) would never be bound; once the
    // user has said no, the desktop is not asked again for every article.
    if (modifiers != kHotKeyModifierAltShift || shortcut == nullptr || step_ != Step::kNone ||
        refused_ || !bus_.isConnected()) {
        return 0;
    }
    if (std::any_of(shortcuts_.begin(), shortcuts_.end(),
                    [key](const Shortcut& held) { return held.key == key; })) {
        return 0;
    }
    shortcuts_.push_back({next_id_++, key});
    if (!start_queued_) {
        // All keys registered in this turn go into one binding.
        start_queued_ = true;
        QTimer::singleShot(0, this, [this] { Start(); });
    }
    return shortcuts_.back().id;
}

void PortalHotKeys::Unregister(int id) {
    const auto found = std::find_if(shortcuts_.begin(), shortcuts_.end(),
                                    [id](const Shortcut& held) { return held.id == id; });
    if (id == 0 || found == shortcuts_.end()) {
        return;
    }
    shortcuts_.erase(found);
    if (shortcuts_.empty()) {
        CloseRequest();
        CloseSession();
        step_ = Step::kNone;
        ++attempt_;
    }
}

void PortalHotKeys::SetHandler(std::function<void(int id)> handler) {
    handler_ = std::move(handler);
}

void PortalHotKeys::SetFailureHandler(std::function<void()> handler) {
    on_failure_ = std::move(handler);
}

void PortalHotKeys::Start() {
    start_queued_ = false;
    if (shortcuts_.empty() || step_ != Step::kNone) {
        return;
    }
    const int attempt = ++attempt_;
    if (host_registered_) {
        CreateSession();
        return;
    }
    // Newer portals want a host program to say who it is before anything else; older ones do
    // not know the call, and either answer lets the session be made.
    host_registered_ = true;
    step_ = Step::kRegistering;
    const QDBusMessage message =
        PortalCall(kPortalPath, kRegistryInterface, QStringLiteral("Register"),
                   {QLatin1String(kApplicationId), QVariantMap()});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (attempt == attempt_ && step_ == Step::kRegistering) {
                    CreateSession();
                }
            });
}

void PortalHotKeys::CreateSession() {
    step_ = Step::kCreating;
    const QString token = NextToken();
    const QString expected = ExpectRequest(token);
    request_ = expected;
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("session_handle_token"), token);
    const QDBusMessage message =
        PortalCall(kPortalPath, kShortcutsInterface, QStringLiteral("CreateSession"), {options});
    SendRequest(message, expected, Step::kCreating);
}

void PortalHotKeys::BindShortcuts() {
    step_ = Step::kBinding;
    QList<PortalShortcut> list;
    for (const Shortcut& held : shortcuts_) {
        const PlaybackShortcut* shortcut = FindByKey(held.key);
        QVariantMap properties;
        properties.insert(QStringLiteral("description"), QString::fromUtf8(shortcut->description));
        properties.insert(QStringLiteral("preferred_trigger"), QLatin1String(shortcut->trigger));
        list.push_back({QLatin1String(shortcut->id), properties});
    }
    const QString token = NextToken();
    const QString expected = ExpectRequest(token);
    request_ = expected;
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    // No parent window: this Qt cannot export a Wayland window handle.
    const QDBusMessage message =
        PortalCall(kPortalPath, kShortcutsInterface, QStringLiteral("BindShortcuts"),
                   {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(list),
                    QString(), options});
    SendRequest(message, expected, Step::kBinding);
}

void PortalHotKeys::SendRequest(const QDBusMessage& message, const QString& expected, Step step) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, expected, step](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (request_ != expected) {
                    return;  // given up meanwhile
                }
                if (reply.isError()) {
                    ForgetRequest(expected);
                    request_.clear();
                    Fail();
                    return;
                }
                // A portal older than handle tokens names another request: follow it.
                const QString path = reply.value().path();
                if (path != expected) {
                    ForgetRequest(expected);
                    requests_[path] = step;
                    bus_.connect(kPortalService, path, kRequestInterface,
                                 QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
                    request_ = path;
                }
            });
}

QString PortalHotKeys::ExpectRequest(const QString& token) {
    // The portal names the request from the caller's unique name and the token, so the answer
    // can be listened for before the call is made and cannot be missed.
    QString sender = bus_.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    requests_[path] = step_;
    bus_.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                 SLOT(OnResponse(QDBusMessage)));
    return path;
}

void PortalHotKeys::ForgetRequest(const QString& path) {
    if (requests_.erase(path) != 0) {
        bus_.disconnect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(OnResponse(QDBusMessage)));
    }
    abandoned_.erase(path);
}

void PortalHotKeys::OnResponse(const QDBusMessage& message) {
    const QString path = message.path();
    const auto request = requests_.find(path);
    if (request == requests_.end() || message.arguments().size() < 2) {
        return;
    }
    const Step step = request->second;
    const bool abandoned = abandoned_.count(path) != 0;
    ForgetRequest(path);
    const uint response = message.arguments().at(0).toUInt();
    // Nested containers arrive unmarshalled, as QDBusArgument.
    const QVariantMap results = qdbus_cast<QVariantMap>(message.arguments().at(1));
    if (abandoned) {
        // Given up before the portal answered: a session it made anyway is closed at once.
        const QString session = HandleText(results.value(QStringLiteral("session_handle")));
        if (step == Step::kCreating && response == 0 && !session.isEmpty()) {
            bus_.send(PortalCall(session, kSessionInterface, QStringLiteral("Close"), {}));
        }
        return;
    }
    if (path != request_) {
        return;
    }
    request_.clear();
    if (step == Step::kCreating) {
        CreateAnswered(response, results);
    } else if (step == Step::kBinding) {
        BindAnswered(response, results);
    }
}

void PortalHotKeys::CreateAnswered(uint response, const QVariantMap& results) {
    const QString session = HandleText(results.value(QStringLiteral("session_handle")));
    if (response != 0 || session.isEmpty()) {
        Fail();
        return;
    }
    session_ = session;
    bus_.connect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(OnSessionClosed(QDBusMessage)));
    BindShortcuts();
}

void PortalHotKeys::BindAnswered(uint response, const QVariantMap& results) {
    // 1: the user said no; 2: the desktop could not.
    if (response != 0) {
        refused_ = response == 1;
        Fail();
        return;
    }
    const auto bound =
        qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")));
    if (!AnyTriggerBound(bound)) {
        Fail();
        return;
    }
    step_ = Step::kBound;
}

void PortalHotKeys::OnActivated(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (step_ != Step::kBound || arguments.size() < 2 || HandleText(arguments.at(0)) != session_) {
        return;
    }
    const PlaybackShortcut* shortcut = FindById(arguments.at(1).toString());
    if (shortcut == nullptr) {
        return;
    }
    const auto held =
        std::find_if(shortcuts_.begin(), shortcuts_.end(),
                     [shortcut](const Shortcut& s) { return s.key == shortcut->key; });
    if (held == shortcuts_.end()) {
        return;
    }
    // A copy: the handler may replace itself, unregister keys or destroy this object.
    const std::function<void(int)> handler = handler_;
    if (handler) {
        handler(held->id);
    }
}

void PortalHotKeys::OnShortcutsChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (step_ != Step::kBound || arguments.size() < 2 || HandleText(arguments.at(0)) != session_) {
        return;
    }
    // The user took every trigger away in the desktop's settings.
    if (!AnyTriggerBound(qdbus_cast<QList<PortalShortcut>>(arguments.at(1)))) {
        Fail();
    }
}

void PortalHotKeys::OnSessionClosed(const QDBusMessage& message) {
    if (session_.isEmpty() || message.path() != session_) {
        return;
    }
    // Closed by the desktop: nothing left to close.
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(OnSessionClosed(QDBusMessage)));
    session_.clear();
    Fail();
}

void PortalHotKeys::CloseSession() {
    if (session_.isEmpty()) {
        return;
    }
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(OnSessionClosed(QDBusMessage)));
    bus_.send(PortalCall(session_, kSessionInterface, QStringLiteral("Close"), {}));
    session_.clear();
}

void PortalHotKeys::CloseRequest() {
    if (request_.isEmpty()) {
        return;
    }
    // Still listened to, so that a session it makes anyway can be closed.
    abandoned_.insert(request_);
    bus_.send(PortalCall(request_, kRequestInterface, QStringLiteral("Close"), {}));
    request_.clear();
}

void PortalHotKeys::Fail() {
    CloseRequest();
    CloseSession();
    step_ = Step::kFailed;
    ++attempt_;
    const std::function<void()> on_failure = on_failure_;
    if (on_failure) {
        on_failure();
    }
}

QString PortalHotKeys::NextToken() {
    return QStringLiteral("vennadar%1").arg(next_token_++);
}

}  // namespace vennadar
