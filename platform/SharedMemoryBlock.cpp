#include "platform/SharedMemoryBlock.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mivora {
namespace {

std::string ObjectName(const std::string& name) { return "/" + name; }

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() < 250 && name.find('/') == std::string::npos;
}

uint8_t* MapWhole(int fd, size_t bytes) {
  void* data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return data == MAP_FAILED ? nullptr : static_cast<uint8_t*>(data);
}

void Fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<SharedMemoryBlock> SharedMemoryBlock::Create(const std::string& name, size_t bytes,
                                                             std::string* error) {
  if (!ValidName(name) || bytes == 0) {
    if (error) *error = "bad shared block name or size";
    return nullptr;
  }
  int fd = ::shm_open(ObjectName(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    Fail(error, "cannot create shared block " + name);
    return nullptr;
  }
  uint8_t* data = nullptr;
  if (::ftruncate(fd, static_cast<off_t>(bytes)) == 0) data = MapWhole(fd, bytes);
  if (data == nullptr) {
    Fail(error, "cannot size or map shared block " + name);
    ::shm_unlink(ObjectName(name).c_str());
  }
  ::close(fd);
  return data ? std::unique_ptr<SharedMemoryBlock>(new SharedMemoryBlock(data, bytes)) : nullptr;
}

std::unique_ptr<SharedMemoryBlock> SharedMemoryBlock::Open(const std::string& name, size_t bytes,
                                                           std::string* error) {
  if (!ValidName(name) || bytes == 0) {
    if (error) *error = "bad shared block name or size";
    return nullptr;
  }
  int fd = ::shm_open(ObjectName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    Fail(error, "cannot open shared block " + name);
    return nullptr;
  }
  struct stat facts{};
  uint8_t* data = nullptr;
  if (::fstat(fd, &facts) != 0) {
    Fail(error, "cannot read the size of shared block " + name);
  } else if (static_cast<size_t>(facts.st_size) < bytes) {
    if (error) *error = "shared block " + name + " is too small";
  } else {
    data = MapWhole(fd, bytes);
    if (data == nullptr) Fail(error, "cannot map shared block " + name);
  }
  ::close(fd);
  return data ? std::unique_ptr<SharedMemoryBlock>(new SharedMemoryBlock(data, bytes)) : nullptr;
}

void SharedMemoryBlock::Unlink(const std::string& name) {
  if (ValidName(name)) ::shm_unlink(ObjectName(name).c_str());
}

SharedMemoryBlock::~SharedMemoryBlock() { ::munmap(data_, size_); }

}  // namespace mivora
