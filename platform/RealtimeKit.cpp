#include "platform/RealtimeKit.h"

#include <gio/gio.h>

#include <memory>

namespace corvane {

namespace {

constexpr const char* service = "org.freedesktop.RealtimeKit1";
constexpr const char* object = "/org/freedesktop/RealtimeKit1";

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

[[noreturn]] void fail(GError* raw) {
    ErrorPtr error(raw);
    throw RealtimeKitError(error ? error->message : "no answer");
}

VariantPtr property(GDBusConnection* connection, const char* name, int timeout) {
    GError* error = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(connection, service, object, "org.freedesktop.DBus.Properties",
                                                 "Get", g_variant_new("(ss)", service, name),
                                                 G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, timeout,
                                                 nullptr, &error));
    if (!reply) fail(error);
    GVariant* value = nullptr;
    g_variant_get(reply.get(), "(v)", &value);
    return VariantPtr(value);
}

}  // namespace

RealtimeKitClient::RealtimeKitClient(std::chrono::milliseconds timeout)
    : timeoutMilliseconds_(static_cast<int>(timeout.count())) {
    GError* error = nullptr;
    std::unique_ptr<gchar, StringFree> address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error));
    if (!address) fail(error);
    // A connection of our own: the shared one would end the process if the bus went away.
    connection_ = g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (connection_ == nullptr) fail(error);
}

RealtimeKitClient::~RealtimeKitClient() {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
}

RealtimeKitLimits RealtimeKitClient::limits() {
    VariantPtr priority = property(connection_, "MaxRealtimePriority", timeoutMilliseconds_);
    VariantPtr rtTime = property(connection_, "RTTimeUSecMax", timeoutMilliseconds_);
    if (!g_variant_is_of_type(priority.get(), G_VARIANT_TYPE_INT32) ||
        !g_variant_is_of_type(rtTime.get(), G_VARIANT_TYPE_INT64)) {
        throw RealtimeKitError("unexpected property types");
    }
    return RealtimeKitLimits{g_variant_get_int32(priority.get()), g_variant_get_int64(rtTime.get())};
}

void RealtimeKitClient::makeThreadRealtime(std::uint64_t threadID, std::uint32_t priority) {
    GError* error = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        connection_, service, object, service, "MakeThreadRealtime",
        g_variant_new("(tu)", static_cast<guint64>(threadID), static_cast<guint32>(priority)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, timeoutMilliseconds_, nullptr, &error));
    if (!reply) fail(error);
}

}  // namespace corvane
