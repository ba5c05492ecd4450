#pragma once
// Per-thread fault guard. A thread that installed the translator and runs
// work through RunGuarded turns a memory fault, bus error, arithmetic fault,
// illegal instruction or stack overflow inside that work into a crash report
// and an ordinary error result; the process and its other threads go on.
//
// Report (two lines, as the program shows them):
//   "Exception code: %08X %s \n"
//   "Fault address:  %08X %02X:%08X %s \n"
// with the code and its name, the faulting instruction's address, the 1-based
// ELF section of the module holding it, the offset within that section and
// the module's file name (section 0, offset 0 and no name outside a module).

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace mivora {

// Receives each report in normal (not signal) context on the faulting thread.
using FaultReportSink = std::function<void(const std::string& report)>;

// The error that ends a guarded run; carries the report (at most 1023 bytes).
class FaultError : public std::runtime_error {
 public:
  explicit FaultError(const std::string& report);
};

// Prepares the calling thread: an alternate signal stack (so a stack
// overflow can still be reported) and the sink its reports go to. A thread
// that never installs a translator keeps the default behaviour.
void InstallFaultTranslator(FaultReportSink sink);
// Releases the calling thread's alternate stack.
void UninstallFaultTranslator();

// The translator for the lifetime of the object, on the thread that made
// it. A scope opened inside another on the same thread hands the outer
// scope's sink back when it ends; only the outermost releases the stack.
class ScopedFaultTranslator {
 public:
  explicit ScopedFaultTranslator(FaultReportSink sink);
  ~ScopedFaultTranslator();
  ScopedFaultTranslator(const ScopedFaultTranslator&) = delete;
  ScopedFaultTranslator& operator=(const ScopedFaultTranslator&) = delete;

 private:
  bool outermost_;
  FaultReportSink outerSink_;
};

// Runs `body` on the calling thread. Returns normally when it returns; when a
// machine fault happens inside it, hands the report to the thread's sink and
// throws FaultError. C++ exceptions thrown by `body` pass through unchanged.
//
// A fault unwinds no stack frames of `body`: destructors between the fault
// and this call do not run, so `body` should own no resources that matter
// beyond the fault (scaling a frame, a conversion step).
void RunGuarded(const std::function<void()>& body);

// Code and name of the table the reports use ("ACCESS_VIOLATION", ...); the
// name is empty for a code not in the table.
const char* FaultCodeName(uint32_t code);

// Builds the report for a code and an instruction address (exposed so the
// module and section lookup can be checked directly).
std::string BuildFaultReport(uint32_t code, const char* name, uintptr_t address);

}  // namespace mivora
