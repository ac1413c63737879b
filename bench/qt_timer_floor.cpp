// The floor for the headless program's idle CPU: a bare QCoreApplication running the same set of timers (their
// intervals in milliseconds on the command line, as timer_census prints them) on the same precise timer type, each
// with a handler that only counts. Whatever the program spends above this is its own work.
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::unique_ptr<QTimer>> timers;
  long ticks = 0;
  for (int i = 1; i < argc; ++i) {
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, [&ticks] { ++ticks; });
    timer->start(std::atoi(argv[i]));
    timers.push_back(std::move(timer));
  }
  return app.exec();
}
