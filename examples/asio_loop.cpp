// A host on an asio io_context. The SDK's main queue posts every task to a strand, so tasks
// run one at a time and in order even if the host later runs the context on more threads;
// the loop runs the demo tour against a sandbox and checks that order.
//
//   asio_loop --sandbox 127.0.0.1:PORT --cacert CA.pem
//
// asio::post never runs the handler inside the call, as the queue requires of an executor.
// The context runs on this thread alone: the SDK's facade is used from one main thread.
#include <asio.hpp>
#include <chrono>
#include <memory>
#include <velmar/velmar.hpp>

#include "loop_tour.hpp"

int main(int argc, char** argv) {
  using Task = velmar::MainQueue::Task;
  const std::optional<loop_tour::Sandbox> sandbox = loop_tour::parseArguments(argc, argv);
  if (!sandbox) return 2;
  loop_tour::useSandbox(*sandbox);

  // The executor outlives main() inside the SDK's queue, so it owns what it posts to: a
  // request still in flight at exit must not post to a destroyed context.
  auto io = std::make_shared<asio::io_context>();
  auto strand = std::make_shared<asio::strand<asio::io_context::executor_type>>(
      asio::make_strand(io->get_executor()));
  auto order = std::make_shared<loop_tour::TaskOrder>();
  velmar::MainQueue::main().setExecutor([order, io, strand](Task task) {
    order->handOver(std::move(task),
                    [&strand](Task numbered) { asio::post(*strand, std::move(numbered)); });
  });

  loop_tour::Tour tour("asio_loop");

  // While requests are in flight nothing is queued; the guard keeps run() from returning.
  auto work = asio::make_work_guard(*io);
  asio::steady_timer check(*io);
  std::function<void()> checkSoon = [&] {
    check.expires_after(std::chrono::milliseconds(10));
    check.async_wait([&](const std::error_code& error) {
      if (error) return;
      if (loop_tour::settled(tour, *order)) return io->stop();
      checkSoon();
    });
  };
  checkSoon();
  bool timedOut = false;
  asio::steady_timer deadline(*io, std::chrono::seconds(30));
  deadline.async_wait([&](const std::error_code& error) {
    if (error) return;
    timedOut = true;
    io->stop();
  });

  std::cout << "asio_loop: sandbox at " << sandbox->address << std::endl;
  tour.start();
  io->run();
  return loop_tour::verdict("asio_loop", tour, *order, timedOut);
}
