// libsecret first: GLib's headers use identifiers that Qt's headers define as macros.
#include <libsecret/secret.h>

#include "SecretServiceKeychain.h"

#include <QFile>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// Items stored by secret-tool or by another program carry another schema name (or none), so
// only the two attributes are matched.
const SecretSchema kLegacySchema = {"example.velmora.wallpaper.LegacyActivation",
                                    SECRET_SCHEMA_DONT_MATCH_NAME,
                                    {
                                        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    },
                                    0,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr};

// Shared between the caller and the worker, so that a worker abandoned after the deadline still
// has somewhere valid to put its answer.
struct Lookup {
    std::string account;
    std::string service;
    GCancellable *cancellable = g_cancellable_new();

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    LegacyLookup answer;

    ~Lookup() { g_object_unref(cancellable); }
};

LegacyLookup query(Lookup &lookup) {
    GError *error = nullptr;
    // GLib's shared bus connection would otherwise end the whole process when the bus goes away.
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, lookup.cancellable, &error);
    if (!bus) {
        g_clear_error(&error);
        return {};
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);

    SecretValue *value = secret_password_lookup_binary_sync(
        &kLegacySchema, lookup.cancellable, &error, "account", lookup.account.c_str(), "service",
        lookup.service.c_str(), nullptr);
    // The error text may quote the store's reply; it is dropped rather than reported. A store
    // that failed has not said the item is absent.
    LegacyLookup answer{error == nullptr, std::nullopt};
    g_clear_error(&error);
    if (value) {
        gsize length = 0;
        const gchar *data = secret_value_get(value, &length);
        answer.data = QByteArray(data, qsizetype(length));
        secret_value_unref(value);
    }
    // Lets the next lookup connect afresh instead of reusing a proxy to a store that may be gone.
    secret_service_disconnect();
    g_object_unref(bus);
    return answer;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// libsecret's synchronous calls keep a few bytes of their private main loop for the life of the
// process; that is theirs, not a leak of ours, and would otherwise fail every sanitizer run.
// GLib is built without frame pointers, so the sanitizer's quick unwinder often sees no frame
// beyond GLib's allocator: the suppression has to name GLib itself.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libsecret-1.so\nleak:libglib-2.0.so\n";
}
#endif

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds deadline)
    : m_deadline(deadline) {}

bool SecretServiceKeychain::sessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    // Without the variable GLib tries $XDG_RUNTIME_DIR/bus and would otherwise fall back to
    // autolaunching a bus on X11, which we never want for a lookup.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    struct stat info {};
    return ::stat(QFile::encodeName(runtime + u"/bus"_s).constData(), &info) == 0 &&
           S_ISSOCK(info.st_mode);
}

LegacyLookup SecretServiceKeychain::lookup(const QString &account, const QString &service) const {
    if (!sessionBusConfigured())
        return {};

    auto lookup = std::make_shared<Lookup>();
    lookup->account = account.toStdString();
    lookup->service = service.toStdString();
    std::thread([lookup] {
        LegacyLookup answer = query(*lookup);
        const std::lock_guard guard(lookup->mutex);
        lookup->answer = std::move(answer);
        lookup->done = true;
        lookup->finished.notify_all();
    }).detach();

    std::unique_lock guard(lookup->mutex);
    if (!lookup->finished.wait_for(guard, m_deadline, [&] { return lookup->done; })) {
        g_cancellable_cancel(lookup->cancellable);
        return {};
    }
    return std::move(lookup->answer);
}

std::shared_ptr<const LegacyKeychain> systemLegacyKeychain() {
    return std::make_shared<SecretServiceKeychain>();
}

} // namespace velmora::platform
