#include <libsecret/secret.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "velmar/key_store.hpp"

namespace velmar {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough for a busy desktop to answer, short enough that a Secret Service that never
// answers (libsecret would wait 50 s) cannot freeze the caller.
constexpr milliseconds kCallDeadline{5000};
// How long a cancelled call is given to wind down before it is abandoned.
constexpr milliseconds kCancelGrace{250};

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct ContextUnref {
  void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
using ContextPtr = std::unique_ptr<GMainContext, ContextUnref>;

struct SourceDestroy {
  void operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
  }
};
using SourcePtr = std::unique_ptr<GSource, SourceDestroy>;

struct ValueUnref {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

struct TableUnref {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using TablePtr = std::unique_ptr<GHashTable, TableUnref>;

const SecretSchema& credentialSchema() {
  static const SecretSchema schema = [] {
    SecretSchema s{};  // every unused attribute slot zeroed: the list ends at the first
    s.name = "com.velmar.sdk.Credential";
    s.flags = SECRET_SCHEMA_NONE;
    s.attributes[0] = {"key", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
  }();
  return schema;
}

TablePtr attributesFor(const std::string& key) {
  TablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(table.get(), const_cast<char*>("key"), const_cast<char*>(key.c_str()));
  return table;
}

milliseconds remainingUntil(Clock::time_point end) {
  auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
  return left.count() > 0 ? left : milliseconds(0);
}

// Runs one asynchronous libsecret/GIO call on a private main context of the calling thread,
// so the call is bounded by a deadline instead of libsecret's own, much longer, timeouts.
class BoundedCall {
 public:
  BoundedCall() : context_(g_main_context_new()), cancellable_(g_cancellable_new()) {}

  // `start(cancellable, callback, data)` begins the call. The result of the completed call,
  // or null when it did not complete in time (it is then cancelled).
  template <typename Start>
  ObjectPtr<GAsyncResult> run(milliseconds deadline, Start&& start) {
    g_main_context_push_thread_default(context_.get());
    start(cancellable_.get(), &BoundedCall::onReady, &result_);
    bool expired = false;
    SourcePtr timer = wakeAfter(deadline, &expired);
    while (!result_ && !expired) g_main_context_iteration(context_.get(), TRUE);
    if (!result_) {
      g_cancellable_cancel(cancellable_.get());
      bool graceOver = false;
      SourcePtr grace = wakeAfter(kCancelGrace, &graceOver);
      while (!result_ && !graceOver) g_main_context_iteration(context_.get(), TRUE);
    }
    // Once popped, nothing iterates the context again: a call abandoned here never runs its
    // callback, so `result_` is not touched after this object is gone.
    g_main_context_pop_thread_default(context_.get());
    return std::move(result_);
  }

 private:
  static void onReady(GObject*, GAsyncResult* result, gpointer data) {
    static_cast<ObjectPtr<GAsyncResult>*>(data)->reset(G_ASYNC_RESULT(g_object_ref(result)));
  }

  static gboolean onTimer(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
  }

  SourcePtr wakeAfter(milliseconds delay, bool* flag) {
    SourcePtr source(g_timeout_source_new(static_cast<guint>(delay.count())));
    g_source_set_callback(source.get(), &BoundedCall::onTimer, flag, nullptr);
    g_source_attach(source.get(), context_.get());
    return source;
  }

  ContextPtr context_;
  ObjectPtr<GCancellable> cancellable_;
  ObjectPtr<GAsyncResult> result_;
};

// The session bus, with GLib's default of killing the process when the bus goes away turned
// off: a desktop session ending must not take the host application down with it. libsecret
// uses this same shared connection.
bool connectSessionBus(milliseconds deadline) {
  BoundedCall call;
  auto result = call.run(deadline, [](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
    g_bus_get(G_BUS_TYPE_SESSION, c, cb, data);
  });
  if (!result) return false;
  GError* raw = nullptr;
  ObjectPtr<GDBusConnection> bus(g_bus_get_finish(result.get(), &raw));
  ErrorPtr error(raw);
  if (!bus) return false;
  g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
  return true;
}

// Secret Service calls are serialised: they share one proxy and take milliseconds anyway.
std::mutex& callMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

bool SecretServiceKeyStore::available(std::chrono::milliseconds deadline) {
  std::lock_guard lock(callMutex());
  const auto end = Clock::now() + deadline;
  if (!connectSessionBus(deadline)) return false;

  GError* raw = nullptr;
  ObjectPtr<SecretService> service;
  {
    BoundedCall call;
    auto result =
        call.run(remainingUntil(end), [](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
          secret_service_get(SECRET_SERVICE_NONE, c, cb, data);
        });
    if (!result) return false;
    service.reset(secret_service_get_finish(result.get(), &raw));
    ErrorPtr error(raw);
    if (!service) return false;
  }
  // The default collection must exist and be unlocked: anything else would need a prompt.
  BoundedCall call;
  auto result =
      call.run(remainingUntil(end), [&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
        secret_collection_for_alias(service.get(), SECRET_COLLECTION_DEFAULT,
                                    SECRET_COLLECTION_NONE, c, cb, data);
      });
  if (!result) return false;
  raw = nullptr;
  ObjectPtr<SecretCollection> collection(secret_collection_for_alias_finish(result.get(), &raw));
  ErrorPtr error(raw);
  return collection && !secret_collection_get_locked(collection.get());
}

bool SecretServiceKeyStore::set(const std::string& value, const std::string& key) {
  std::lock_guard lock(callMutex());
  const auto end = Clock::now() + kCallDeadline;
  if (!connectSessionBus(kCallDeadline)) return false;
  // Stored as bytes, so a value holding a NUL comes back whole.
  ValuePtr secret(secret_value_new(value.data(), static_cast<gssize>(value.size()), "text/plain"));
  const std::string label = "Velmar credential: " + key;
  auto attributes = attributesFor(key);
  BoundedCall call;
  auto result = call.run(remainingUntil(end), [&](GCancellable* c, GAsyncReadyCallback cb,
                                                  gpointer data) {
    secret_password_storev_binary(&credentialSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                  label.c_str(), secret.get(), c, cb, data);
  });
  if (!result) return false;
  GError* raw = nullptr;
  const bool stored = secret_password_store_finish(result.get(), &raw);
  ErrorPtr error(raw);
  return stored;
}

std::optional<std::string> SecretServiceKeyStore::string(const std::string& key) {
  std::lock_guard lock(callMutex());
  const auto end = Clock::now() + kCallDeadline;
  if (!connectSessionBus(kCallDeadline)) return std::nullopt;
  auto attributes = attributesFor(key);
  BoundedCall call;
  auto result =
      call.run(remainingUntil(end), [&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
        secret_password_lookupv(&credentialSchema(), attributes.get(), c, cb, data);
      });
  if (!result) return std::nullopt;
  GError* raw = nullptr;
  ValuePtr secret(secret_password_lookup_binary_finish(result.get(), &raw));
  ErrorPtr error(raw);
  if (!secret) return std::nullopt;
  gsize length = 0;
  const gchar* bytes = secret_value_get(secret.get(), &length);
  return std::string(bytes, length);
}

bool SecretServiceKeyStore::removeObject(const std::string& key) {
  std::lock_guard lock(callMutex());
  const auto end = Clock::now() + kCallDeadline;
  if (!connectSessionBus(kCallDeadline)) return false;
  auto attributes = attributesFor(key);
  BoundedCall call;
  auto result =
      call.run(remainingUntil(end), [&](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
        secret_password_clearv(&credentialSchema(), attributes.get(), c, cb, data);
      });
  if (!result) return false;
  GError* raw = nullptr;
  secret_password_clear_finish(result.get(), &raw);  // false also when nothing was stored
  ErrorPtr error(raw);
  return error == nullptr;
}

}  // namespace velmar
