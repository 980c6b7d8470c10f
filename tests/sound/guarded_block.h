// A copy of a byte block placed so that its last byte is followed by an inaccessible page: any
// read past the end crashes the test at once, with or without a sanitizer.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

class GuardedBlock {
 public:
  explicit GuardedBlock(const std::vector<uint8_t>& bytes) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes.size() + page_ - 1) / page_ + 1;
    total_ = (dataPages + 1) * page_;
    void* p = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    if (base_ == nullptr) return;
    uint8_t* guard = base_ + dataPages * page_;
    mprotect(guard, page_, PROT_NONE);
    data_ = guard - bytes.size();
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    size_ = bytes.size();
  }
  ~GuardedBlock() {
    if (base_ != nullptr) munmap(base_, total_);
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;

  bool ok() const { return base_ != nullptr; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  size_t page_ = 4096, total_ = 0, size_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};
