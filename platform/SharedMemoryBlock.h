#pragma once
// A named POSIX shared-memory block mapped read-write into this process, for
// the player's shared block (PlayerSharedBlock.h). The mapping lives as long
// as the object; the name is removed only by Unlink.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mivora {

class SharedMemoryBlock {
 public:
  // Makes a new block of `bytes` under `name` (without the leading '/') and
  // maps it. Null, with `error` filled, when the name is taken or no block
  // can be made.
  static std::unique_ptr<SharedMemoryBlock> Create(const std::string& name, size_t bytes,
                                                   std::string* error = nullptr);
  // Maps an existing block; null when there is none or it is smaller than
  // `bytes`.
  static std::unique_ptr<SharedMemoryBlock> Open(const std::string& name, size_t bytes,
                                                 std::string* error = nullptr);
  // Removes the name; processes that mapped the block keep it.
  static void Unlink(const std::string& name);

  ~SharedMemoryBlock();
  SharedMemoryBlock(const SharedMemoryBlock&) = delete;
  SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

  uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  SharedMemoryBlock(uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t* const data_;
  const size_t size_;
};

}  // namespace mivora
