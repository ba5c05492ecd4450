#include "platform/FaultGuard.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace mivora {
namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kAltStackBytes = 64 * 1024;
constexpr size_t kMaxReportBytes = 1023;

struct CodeName {
  uint32_t code;
  const char* name;
};
constexpr CodeName kCodeNames[] = {
    {0x80000001, "GUARD_PAGE"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC0000005, "ACCESS_VIOLATION"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"},
    {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"},
    {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
};

// What the signal handler records; everything else is done after the jump,
// outside signal context.
struct FaultRecord {
  int signal = 0;
  int code = 0;
  uintptr_t faultAddress = 0;  // si_addr
  uintptr_t instruction = 0;   // the program counter at the fault
};

// Per-thread state; touched only by its own thread and that thread's handler.
struct ThreadGuard {
  FaultReportSink sink;
  void* altStack = nullptr;
  uintptr_t stackLow = 0;   // lowest address of the thread's stack
  uintptr_t stackHigh = 0;  // highest
  sigjmp_buf* active = nullptr;
  FaultRecord record;
};
thread_local ThreadGuard t_guard;

struct sigaction g_previous[NSIG];
std::once_flag g_handlersOnce;

uintptr_t ProgramCounter(void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#elif defined(__i386__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#else
  (void)uc;
  return 0;
#endif
}

void FaultHandler(int sig, siginfo_t* info, void* context) {
  ThreadGuard& guard = t_guard;
  if (guard.active != nullptr) {
    guard.record = {sig, info->si_code, reinterpret_cast<uintptr_t>(info->si_addr),
                    ProgramCounter(context)};
    sigjmp_buf* target = guard.active;
    guard.active = nullptr;
    siglongjmp(*target, 1);
  }
  // Not inside a guarded run: behave as if there were no guard.
  const struct sigaction& previous = g_previous[sig];
  if (previous.sa_flags & SA_SIGINFO) {
    if (previous.sa_sigaction) {
      previous.sa_sigaction(sig, info, context);
      return;
    }
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallHandlersOnce() {
  std::call_once(g_handlersOnce, [] {
    for (int sig : kGuardedSignals) {
      struct sigaction action {};
      action.sa_sigaction = FaultHandler;
      action.sa_flags = SA_SIGINFO | SA_ONSTACK;
      sigemptyset(&action.sa_mask);
      sigaction(sig, &action, &g_previous[sig]);
    }
  });
}

uint32_t CodeFor(const FaultRecord& r, const ThreadGuard& guard) {
  switch (r.signal) {
    case SIGSEGV: {
      // A fault just below the stack (its guard area) is a stack overflow.
      constexpr uintptr_t kGuardZone = 256 * 1024;
      if (guard.stackLow != 0 && r.faultAddress < guard.stackLow &&
          r.faultAddress + kGuardZone >= guard.stackLow)
        return 0xC00000FD;
      return 0xC0000005;
    }
    case SIGBUS:
      return r.code == BUS_ADRALN ? 0x80000002 : 0xC0000006;
    case SIGFPE:
      switch (r.code) {
        case FPE_INTDIV: return 0xC0000094;
        case FPE_INTOVF: return 0xC0000095;
        case FPE_FLTDIV: return 0xC000008E;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        case FPE_FLTINV: return 0xC0000090;
        case FPE_FLTSUB: return 0xC000008C;
        default: return 0xC0000090;
      }
    case SIGILL:
      return (r.code == ILL_PRVOPC || r.code == ILL_PRVREG) ? 0xC0000096 : 0xC000001D;
    default:
      return 0;
  }
}

// Finds the 1-based index of the allocated ELF section of `file` whose extent
// holds `offset` (an address relative to the module's load bias).
bool FindSection(const char* file, uintptr_t offset, unsigned& index, uintptr_t& within) {
  int fd = ::open(file, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool found = false;
  ElfW(Ehdr) header;
  if (::pread(fd, &header, sizeof header, 0) == sizeof header &&
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_shentsize == sizeof(ElfW(Shdr)) &&
      header.e_shnum > 0 && header.e_shnum < 4096) {
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    ssize_t bytes = static_cast<ssize_t>(sections.size() * sizeof(ElfW(Shdr)));
    if (::pread(fd, sections.data(), static_cast<size_t>(bytes), static_cast<off_t>(header.e_shoff)) ==
        bytes) {
      // Section 0 is the null section; numbering of the rest starts at 1.
      for (unsigned i = 1; i < sections.size(); ++i) {
        const ElfW(Shdr)& s = sections[i];
        if (!(s.sh_flags & SHF_ALLOC) || s.sh_size == 0) continue;
        if (offset >= s.sh_addr && offset <= s.sh_addr + s.sh_size) {
          index = i;
          within = offset - s.sh_addr;
          found = true;
          break;
        }
      }
    }
  }
  ::close(fd);
  return found;
}

std::string ReportFor(const FaultRecord& record, const ThreadGuard& guard) {
  uint32_t code = CodeFor(record, guard);
  const char* name = FaultCodeName(code);
  if (*name == '\0') name = strsignal(record.signal);
  return BuildFaultReport(code, name, record.instruction);
}

}  // namespace

FaultError::FaultError(const std::string& report)
    : std::runtime_error(report.substr(0, kMaxReportBytes)) {}

const char* FaultCodeName(uint32_t code) {
  for (const CodeName& entry : kCodeNames)
    if (entry.code == code) return entry.name;
  return "";
}

std::string BuildFaultReport(uint32_t code, const char* name, uintptr_t address) {
  unsigned section = 0;
  uintptr_t offset = 0;
  std::string module;
  Dl_info info{};
  link_map* map = nullptr;
  if (address != 0 &&
      dladdr1(reinterpret_cast<void*>(address), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 &&
      map != nullptr) {
    module = info.dli_fname ? info.dli_fname : "";
    // The main program's link map has an empty name.
    if (module.empty() || map->l_name == nullptr || map->l_name[0] == '\0') {
      char exe[4096];
      ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
      if (n > 0) module.assign(exe, static_cast<size_t>(n));
    }
    if (!FindSection(module.c_str(), address - map->l_addr, section, offset)) {
      section = 0;
      offset = 0;
    }
  }
  char line1[600];
  char line2[4200];
  std::snprintf(line1, sizeof line1, "Exception code: %08X %s \n", code, name);
  std::snprintf(line2, sizeof line2, "Fault address:  %08llX %02X:%08llX %s \n",
                static_cast<unsigned long long>(address), section,
                static_cast<unsigned long long>(offset), module.c_str());
  std::string report = std::string(line1) + line2;
  if (report.size() > kMaxReportBytes) report.resize(kMaxReportBytes);
  return report;
}

void InstallFaultTranslator(FaultReportSink sink) {
  InstallHandlersOnce();
  ThreadGuard& guard = t_guard;
  guard.sink = std::move(sink);
  if (guard.altStack == nullptr) {
    guard.altStack = ::operator new(kAltStackBytes);
    stack_t stack{};
    stack.ss_sp = guard.altStack;
    stack.ss_size = kAltStackBytes;
    sigaltstack(&stack, nullptr);
  }
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0) {
      guard.stackLow = reinterpret_cast<uintptr_t>(low);
      guard.stackHigh = guard.stackLow + size;
    }
    pthread_attr_destroy(&attr);
  }
}

void UninstallFaultTranslator() {
  ThreadGuard& guard = t_guard;
  if (guard.altStack != nullptr) {
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    ::operator delete(guard.altStack);
    guard.altStack = nullptr;
  }
  guard.sink = nullptr;
}

ScopedFaultTranslator::ScopedFaultTranslator(FaultReportSink sink)
    : outermost_(t_guard.altStack == nullptr), outerSink_(t_guard.sink) {
  InstallFaultTranslator(std::move(sink));
}

ScopedFaultTranslator::~ScopedFaultTranslator() {
  if (outermost_)
    UninstallFaultTranslator();
  else
    t_guard.sink = std::move(outerSink_);
}

void RunGuarded(const std::function<void()>& body) {
  ThreadGuard& guard = t_guard;
  sigjmp_buf jump;
  sigjmp_buf* outer = guard.active;
  if (sigsetjmp(jump, 1) == 0) {
    guard.active = &jump;
    try {
      body();
    } catch (...) {
      guard.active = outer;
      throw;
    }
    guard.active = outer;
    return;
  }
  // Arrived here from the handler: the faulting frames are abandoned.
  guard.active = outer;
  std::string report = ReportFor(guard.record, guard);
  if (guard.sink) guard.sink(report);
  throw FaultError(report);
}

}  // namespace mivora
