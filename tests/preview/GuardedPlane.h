#pragma once
// A byte buffer placed against an inaccessible page, so that a read just past
// its end (or just before its start) faults even in vectorised code that the
// address sanitizer does not see.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace mivora::test {

class GuardedPlane {
 public:
  enum class Guard { After, Before };

  GuardedPlane(size_t bytes, Guard guard) : bytes_(bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes + page - 1) / page + 1;
    length_ = (dataPages + 1) * page;
    void* map = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<uint8_t*>(map);
    if (guard == Guard::After) {
      mprotect(base_ + dataPages * page, page, PROT_NONE);
      data_ = base_ + dataPages * page - bytes;
    } else {
      mprotect(base_, page, PROT_NONE);
      data_ = base_ + page;
    }
  }
  ~GuardedPlane() { munmap(base_, length_); }
  GuardedPlane(const GuardedPlane&) = delete;
  GuardedPlane& operator=(const GuardedPlane&) = delete;

  uint8_t* data() { return data_; }
  size_t size() const { return bytes_; }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t bytes_ = 0;
};

}  // namespace mivora::test
