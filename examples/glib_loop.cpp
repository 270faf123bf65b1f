// A host on a GLib main loop. The SDK's main queue hands every task to the loop's context as
// an idle source; the loop runs the demo tour against a sandbox and checks that the tasks run
// in the order they were handed over.
//
//   glib_loop --sandbox 127.0.0.1:PORT --cacert CA.pem
//
// Why an idle source and not g_main_context_invoke: invoke calls the function at once when
// the calling thread owns the context, and the SDK posts from inside its own tasks, which run
// on that thread. A task run inside the executor's call breaks the queue's rule that a post
// never runs the task it posts. GLib runs idle sources of one priority in the order attached;
// the check below would catch it if it did not.
#include <glib.h>

#include <chrono>
#include <memory>
#include <velmar/velmar.hpp>

#include "loop_tour.hpp"

namespace {

using Task = velmar::MainQueue::Task;

gboolean runTask(gpointer task) {
  (*static_cast<Task*>(task))();
  return G_SOURCE_REMOVE;
}

// GLib calls this when the source goes, run or not; ownership comes back to C++ here.
void releaseTask(gpointer task) { std::unique_ptr<Task> owned(static_cast<Task*>(task)); }

// Thread-safe: the SDK's I/O thread posts too. Attaching wakes the context's loop.
void attachIdle(GMainContext* context, Task task) {
  auto owned = std::make_unique<Task>(std::move(task));
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(source, runTask, owned.release(), releaseTask);
  g_source_attach(source, context);
  g_source_unref(source);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<loop_tour::Sandbox> sandbox = loop_tour::parseArguments(argc, argv);
  if (!sandbox) return 2;
  loop_tour::useSandbox(*sandbox);

  GMainContext* context = g_main_context_default();
  GMainLoop* loop = g_main_loop_new(context, FALSE);

  // The executor outlives main() inside the SDK's queue, so it owns what it hands over to.
  auto order = std::make_shared<loop_tour::TaskOrder>();
  velmar::MainQueue::main().setExecutor([order, context](Task task) {
    order->handOver(std::move(task),
                    [context](Task numbered) { attachIdle(context, std::move(numbered)); });
  });

  struct Run {
    GMainLoop* loop;
    loop_tour::Tour tour;
    std::shared_ptr<loop_tour::TaskOrder> order;
    bool timedOut = false;
  } run{loop, loop_tour::Tour("glib_loop"), order};
  const guint check = g_timeout_add(
      10,
      [](gpointer data) -> gboolean {
        auto* state = static_cast<Run*>(data);
        if (!loop_tour::settled(state->tour, *state->order)) return G_SOURCE_CONTINUE;
        g_main_loop_quit(state->loop);
        return G_SOURCE_REMOVE;
      },
      &run);
  const guint deadline = g_timeout_add_seconds(
      30,
      [](gpointer data) -> gboolean {
        auto* state = static_cast<Run*>(data);
        state->timedOut = true;
        g_main_loop_quit(state->loop);
        return G_SOURCE_REMOVE;
      },
      &run);

  std::cout << "glib_loop: sandbox at " << sandbox->address << std::endl;
  run.tour.start();
  g_main_loop_run(loop);
  // Whichever of the two did not end the loop must not fire on `run` once it is gone.
  if (GSource* source = g_main_context_find_source_by_id(context, check)) g_source_destroy(source);
  if (GSource* source = g_main_context_find_source_by_id(context, deadline)) {
    g_source_destroy(source);
  }
  g_main_loop_unref(loop);
  return loop_tour::verdict("glib_loop", run.tour, *order, run.timedOut);
}
