#include "tools/internal/large_stack.h"

#include <pthread.h>

#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

namespace {

struct Job {
  const std::function<void()>* work;
  std::exception_ptr error;
};

void* run_job(void* arg) {
  Job* job = static_cast<Job*>(arg);
  try {
    (*job->work)();
  } catch (...) {
    job->error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

void run_with_large_stack(const std::function<void()>& work, size_t stack_bytes) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int code = pthread_attr_setstacksize(&attr, stack_bytes);
  Job job{&work, nullptr};
  pthread_t thread;
  if (code == 0) code = pthread_create(&thread, &attr, run_job, &job);
  pthread_attr_destroy(&attr);
  if (code != 0) {
    throw std::runtime_error(std::string("Cannot start a worker thread: ") + std::strerror(code));
  }
  pthread_join(thread, nullptr);
  if (job.error) std::rethrow_exception(job.error);
}
