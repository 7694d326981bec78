#include "nimbex/access/MappedFile.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <mutex>

namespace {

// The copy running on this thread, if any. Initial-exec, so that the signal handler reads it
// without the dynamic loader allocating anything.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* t_RunningCopy = nullptr;
struct sigaction g_PreviousBusHandler;

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (t_RunningCopy && info->si_code == BUS_ADRERR) siglongjmp(*t_RunningCopy, 1);
  // Not a fault of a guarded copy: whatever handled SIGBUS before handles it.
  if (g_PreviousBusHandler.sa_flags & SA_SIGINFO) {
    g_PreviousBusHandler.sa_sigaction(signal, info, context);
  } else if (g_PreviousBusHandler.sa_handler != SIG_DFL &&
             g_PreviousBusHandler.sa_handler != SIG_IGN) {
    g_PreviousBusHandler.sa_handler(signal);
  } else {
    // Returning retries the faulting access, which the default action then ends.
    sigaction(SIGBUS, &g_PreviousBusHandler, nullptr);
  }
}

void InstallBusHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_PreviousBusHandler);
  });
}

}  // namespace

CMappedFile::~CMappedFile() {
  Unmap();
}

int CMappedFile::Map(std::FILE* file, int64_t size) {
  Unmap();
  if (!file || size <= 0) return 0;
  void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fileno(file), 0);
  if (data == MAP_FAILED) return 0;
  InstallBusHandler();
  m_Data = data;
  m_Size = size;
  return 1;
}

void CMappedFile::Unmap() {
  if (m_Data) munmap(m_Data, static_cast<size_t>(m_Size));
  m_Data = nullptr;
  m_Size = 0;
}

const char* CMappedFile::Bytes(int64_t position, int64_t bytes) const {
  if (!m_Data || position < 0 || bytes < 0 || position > m_Size || bytes > m_Size - position)
    return nullptr;
  return static_cast<const char*>(m_Data) + position;
}

int64_t OpenFileSize(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 ? info.st_size : 0;
}

int CopyFromMapping(const std::function<void()>& copy) {
  sigjmp_buf running;
  if (sigsetjmp(running, 1)) {
    t_RunningCopy = nullptr;
    return 0;
  }
  t_RunningCopy = &running;
  copy();
  t_RunningCopy = nullptr;
  return 1;
}
